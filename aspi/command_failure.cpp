// Turning a failed command's request block into plain words.
#include "aspi/command_failure.h"

#include <cstddef>
#include <cstdio>

#include "aspi/aspi_device.h"
#include "aspi/command_time_limits.h"
#include "aspi/srb_access.h"

namespace {

const char* const kSenseKeys[16] = {
    "no sense",       "recovered error", "not ready",      "medium error",
    "hardware error", "illegal request", "unit attention", "data protect",
    "blank check",    "vendor specific", "copy aborted",   "aborted command",
    "equal",          "volume overflow", "miscompare",     "completed"};

// The additional sense codes a CD-ROM drive gives during the program's few
// commands; others are shown by their numbers only.
const char* AdditionalSense(std::uint8_t asc, std::uint8_t ascq) {
  switch (asc) {
    case 0x04:
      if (ascq == 0x01) return "logical unit is in process of becoming ready";
      if (ascq == 0x07) return "operation in progress";
      return "logical unit not ready";
    case 0x0C:
      return "write error";
    case 0x20:
      return "invalid command operation code";
    case 0x24:
      return "invalid field in CDB";
    case 0x25:
      return "logical unit not supported";
    case 0x26:
      return "invalid field in parameter list";
    case 0x28:
      return "not ready to ready change, medium may have changed";
    case 0x29:
      return "power on, reset or bus device reset occurred";
    case 0x2A:
      return "parameters changed";
    case 0x3A:
      return "medium not present";
    case 0x44:
      return "internal target failure";
    case 0x53:
      if (ascq == 0x02) return "medium removal prevented";
      return "media load or eject failed";
    default:
      return nullptr;
  }
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

}  // namespace

bool ParseSense(const std::uint8_t* sense, int length, std::uint8_t& key, std::uint8_t& asc,
                std::uint8_t& ascq) {
  if (sense == nullptr || length < 4) return false;
  const std::uint8_t code = sense[0] & 0x7F;
  if (code == 0x70 || code == 0x71) {
    key = sense[2] & 0x0F;
    asc = length > 12 ? sense[12] : 0;
    ascq = length > 13 ? sense[13] : 0;
    return true;
  }
  if (code == 0x72 || code == 0x73) {
    key = sense[1] & 0x0F;
    asc = sense[2];
    ascq = sense[3];
    return true;
  }
  return false;
}

std::string DescribeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  char numbers[24];
  std::snprintf(numbers, sizeof numbers, "sense %X/%02X/%02X", key & 0x0Fu,
                static_cast<unsigned>(asc), static_cast<unsigned>(ascq));
  std::string text = std::string(numbers) + " (" + kSenseKeys[key & 0x0F];
  if (const char* meaning = AdditionalSense(asc, ascq)) text += std::string(": ") + meaning;
  return text + ")";
}

std::string DescribeSenseData(const std::uint8_t* sense, int length) {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  if (!ParseSense(sense, length, key, asc, ascq)) return {};
  return DescribeSense(key, asc, ascq);
}

bool CommandFailure::NotReadyYet() const {
  return hasSense && senseKey == 0x2 && asc == 0x04 &&
         (ascq == 0x00 || ascq == 0x01 || ascq == 0x07);
}

bool CommandFailure::DriveBusy() const {
  constexpr std::uint8_t kBusy = 0x08;
  return failed && !timedOut &&
         (NotReadyYet() || UnitAttention() || (!hasSense && targStat == kBusy));
}

bool CommandFailure::MayHaveWrittenPart() const {
  if (!failed || timedOut) return false;
  if (hasSense) return senseKey == 0x3 || senseKey == 0x4 || senseKey == 0xB;
  if (targStat == STATUS_CHKCOND) return true;
  if (targStat != STATUS_GOOD && targStat != 0x04) return false;  // BUSY, RESERVATION CONFLICT
  if (status == SS_ABORTED) return true;                          // the host gave it up on its way
  // The bus or the host failed it once it had left (a request that never
  // left the host ends with another request status, SS_NO_DEVICE included).
  return status == SS_ERR && haStat != HASTAT_OK;
}

std::string CommandFailure::Describe() const {
  if (!failed) return {};
  if (timedOut) return "no answer within " + std::to_string(limitSeconds) + " s";
  if (noDevice) return "no device answers";
  if (hasSense) return DescribeSense(senseKey, asc, ascq);
  if (targStat != 0) {
    return "target status " + Hex(targStat) + (targStat == 0x08 ? " (busy)" : "");
  }
  if (haStat != 0) return "host adapter status " + Hex(haStat);
  if (status == SS_ABORTED) return "not sent or aborted by the host adapter";
  return "request status " + Hex(status);
}

CommandFailure LastCommandFailure(const AspiDevice& device) {
  CommandFailure failure;
  const SRB_ExecSCSICmd& srb = device.srb;
  failure.status = LoadSrbByte(srb.SRB_Status);
  failure.haStat = srb.SRB_HaStat;
  failure.targStat = srb.SRB_TargStat;
  const auto* sense =
      reinterpret_cast<const std::uint8_t*>(&srb) + offsetof(SRB_ExecSCSICmd, SenseArea);
  failure.hasSense = sense[0] != 0 && ParseSense(sense, kRequestedSenseLength, failure.senseKey,
                                                 failure.asc, failure.ascq);
  // As AspiDevice::CheckStatus judges it: good on every layer.
  const bool targetGood = failure.targStat == STATUS_GOOD || failure.targStat == 0x04;
  failure.failed = device.lastCommandTimedOut || sense[0] != 0 || failure.status != SS_COMP ||
                   !targetGood || failure.haStat != HASTAT_OK;
  failure.timedOut = device.lastCommandTimedOut || failure.haStat == HASTAT_COMMAND_TIMEOUT ||
                     failure.haStat == HASTAT_TIMEOUT;
  // A device that gave sense data is there, whatever an adapter status left
  // from an earlier command says.
  failure.noDevice = !failure.timedOut && !failure.hasSense &&
                     (failure.status == SS_NO_DEVICE || failure.haStat == HASTAT_SEL_TO);
  const auto limit = device.lastCommandLimit;
  failure.limitSeconds = static_cast<long>((limit.count() + 999) / 1000);
  return failure;
}
