#include "program/time_scale.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "aspi/command_time_limits.h"
#include "aspi/download_opcode.h"
#include "system/system_time.h"
#include "transports/emulated/emulated_bus.h"

std::optional<unsigned> TimeScaleFromEnvironment(std::string& error) {
  const char* text = std::getenv("QTR5_TIME_SCALE");
  if (text == nullptr || *text == '\0') return std::nullopt;
  unsigned factor = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, code] = std::from_chars(text, end, factor);
  if (code != std::errc() || stop != end || factor < 1 || factor > 1000) {
    error = "QTR5_TIME_SCALE must be a whole number from 1 to 1000";
    return std::nullopt;
  }
  return factor;
}

void InstallTimeScale(unsigned factor, EmulatedBus* bus) {
  qtr5::SetTimeScale(factor);
  if (bus != nullptr) bus->SetClock([] { return qtr5::TickCount(); });
  if (factor > 1) {
    // The wait for a command that never completes shrinks too: every command
    // gets the longest limit with its grace, scaled, so that none is given
    // up on that would have completed at full time.
    std::chrono::milliseconds longest{0};
    for (const std::uint8_t opcode :
         {std::uint8_t{0x12}, std::uint8_t{0x1B}, aspi::kDownloadOpcode, std::uint8_t{0x00}}) {
      const std::uint8_t cdb[12] = {opcode};
      if (CommandTimeLimit(cdb) > longest) longest = CommandTimeLimit(cdb);
    }
    static ScopedCommandTimeLimitOverride limits((longest + CommandWaitGrace()) / factor);
  }
}
