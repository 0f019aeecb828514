#include "aspi/command_time_limits.h"

#include <atomic>

#include "aspi/download_opcode.h"

namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kStartStopUnit = 0x1B;

// A negative value means "no override in force".
std::atomic<std::int64_t> g_overrideMs{-1};

}  // namespace

std::chrono::milliseconds CommandTimeLimit(const std::uint8_t* cdb) {
  const std::int64_t overrideMs = g_overrideMs.load(std::memory_order_relaxed);
  if (overrideMs >= 0) return std::chrono::milliseconds(overrideMs);
  if (cdb == nullptr) return std::chrono::seconds(60);
  switch (cdb[0]) {
    case kInquiry:
      return std::chrono::seconds(10);
    case kStartStopUnit:
      return std::chrono::seconds(30);  // a tray may take a while to move
    case aspi::kDownloadOpcode:
      return std::chrono::minutes(5);  // the drive decides how long it takes
    default:
      return std::chrono::seconds(60);
  }
}

std::chrono::milliseconds CommandWaitGrace() {
  if (g_overrideMs.load(std::memory_order_relaxed) >= 0) return std::chrono::milliseconds(0);
  return std::chrono::seconds(5);
}

ScopedCommandTimeLimitOverride::ScopedCommandTimeLimitOverride(std::chrono::milliseconds limit) {
  const std::int64_t previous = g_overrideMs.exchange(limit.count() < 0 ? 0 : limit.count());
  hadPrevious_ = previous >= 0;
  previous_ = std::chrono::milliseconds(previous);
}

ScopedCommandTimeLimitOverride::~ScopedCommandTimeLimitOverride() {
  g_overrideMs.store(hadPrevious_ ? previous_.count() : -1);
}
