// Judging the outcome of one pass-through call.
#include "transports/linux/sg_outcome.h"

#include "aspi/command_failure.h"

#include <scsi/sg_lib.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace sg {

namespace {

constexpr int kSenseKeyNoSense = 0x0;
constexpr int kSenseKeyRecovered = 0x1;
constexpr int kScsiStatusConditionMet = 0x04;

std::string Hex(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02x", value & 0xFF);
  return text;
}

// The ASPI host adapter status that stands closest to a Linux host status.
aspi::BYTE HostStatusToHaStat(int hostStatus) {
  switch (hostStatus) {
    case kDidNoConnect:
    case kDidBadTarget:
      return HASTAT_SEL_TO;
    case kDidBusBusy:
      return HASTAT_BUS_FREE;
    case kDidTimeOut:
      return HASTAT_COMMAND_TIMEOUT;
    case kDidParity:
      return HASTAT_PARITY_ERROR;
    case kDidReset:
      return HASTAT_BUS_RESET;
    default:
      return HASTAT_PHASE_ERR;
  }
}

const char* HostStatusName(int hostStatus) {
  switch (hostStatus) {
    case kDidNoConnect:
      return "the host adapter could not reach the device";
    case kDidBusBusy:
      return "the bus stayed busy";
    case kDidTimeOut:
      return "the command timed out";
    case kDidBadTarget:
      return "the device does not answer";
    case kDidAbort:
      return "the command was aborted";
    case kDidParity:
      return "a parity error occurred on the bus";
    case kDidReset:
      return "the bus or the device was reset";
    default:
      return "the host adapter reported an error";
  }
}

Verdict Failure(aspi::BYTE haStat, std::string problem) {
  Verdict verdict;
  verdict.status = SS_ERR;
  verdict.haStat = haStat;
  verdict.problem = std::move(problem);
  return verdict;
}

Verdict TimedOut(std::string problem) {
  Verdict verdict = Failure(HASTAT_COMMAND_TIMEOUT, std::move(problem));
  verdict.timedOut = true;
  return verdict;
}

}  // namespace

Verdict JudgePassThrough(const PassThroughResult& result, DataDirection direction,
                         std::uint32_t length, const std::uint8_t* sense) {
  // 0. The program stopped waiting for the command.
  if (result.abandoned) {
    Verdict verdict = TimedOut("the command did not end in time");
    verdict.abandoned = true;
    return verdict;
  }
  // 1. The call itself.
  const int osError = result.osError != 0       ? result.osError
                      : result.submitResult < 0 ? -result.submitResult
                                                : 0;
  if (osError != 0) {
    Verdict verdict;
    switch (osError) {
      case ENODEV:
      case ENXIO:
        verdict = Failure(HASTAT_SEL_TO, "the device has gone away");
        verdict.deviceLost = true;
        return verdict;
      case EACCES:
      case EPERM:
        verdict = Failure(HASTAT_OK, "permission denied: the device needs read and write access");
        verdict.accessDenied = true;
        return verdict;
      case EINTR:
        verdict = Failure(HASTAT_OK, "the command was interrupted by a signal");
        verdict.interrupted = true;
        return verdict;
      case ETIMEDOUT:
        return TimedOut("the command timed out");
      default:
        return Failure(HASTAT_OK,
                       std::string("the pass-through call failed: ") + std::strerror(osError));
    }
  }
  if (result.submitResult == kSubmitTimedOut) return TimedOut("the command timed out");
  if (result.submitResult != 0) {
    return Failure(HASTAT_OK, "the pass-through layer refused the command (code " +
                                  std::to_string(result.submitResult) + ")");
  }

  // 2. The host adapter.
  if (result.hostStatus == kDidTimeOut) return TimedOut("the command timed out");
  if (result.hostStatus == kDidAbort) {
    Verdict verdict = Failure(HASTAT_OK, HostStatusName(result.hostStatus));
    verdict.status = SS_ABORTED;
    return verdict;
  }
  if (result.hostStatus != kDidOk) {
    return Failure(HostStatusToHaStat(result.hostStatus),
                   std::string(HostStatusName(result.hostStatus)) + " (host status " +
                       Hex(result.hostStatus) + ")");
  }

  // 3. The mid-level driver; DRIVER_SENSE only says that sense data came.
  const int driverError = result.driverStatus & 0x0F;
  if (driverError == kDriverTimeout) return TimedOut("the command timed out");
  if (driverError != 0 && driverError != kDriverSense) {
    return Failure(HASTAT_OK, "the SCSI driver reported an error (driver status " +
                                  Hex(result.driverStatus) + ")");
  }

  // 4. The target's status, with 5. its sense data.
  const int senseBytes = sense == nullptr ? 0 : result.senseLength < 0 ? 0 : result.senseLength;
  const int status = result.scsiStatus & 0xFF;
  if (status != STATUS_GOOD && status != kScsiStatusConditionMet) {
    Verdict verdict = Failure(HASTAT_OK, {});
    verdict.targStat = static_cast<aspi::BYTE>(status);
    if (status == STATUS_CHKCOND) {
      verdict.senseBytes = senseBytes;
      const std::string described = DescribeSenseData(sense, senseBytes);
      verdict.problem = "the drive reports CHECK CONDITION" +
                        (described.empty() ? std::string(" without sense data") : ": " + described);
    } else {
      verdict.problem = "the drive answers with SCSI status " + Hex(status);
    }
    return verdict;
  }
  // Sense data with a good status: a recovered error is still a success, any
  // other sense key is not.
  sg_scsi_sense_hdr header{};
  if (senseBytes > 0 && sg_scsi_normalize_sense(sense, senseBytes, &header) &&
      header.sense_key != kSenseKeyNoSense && header.sense_key != kSenseKeyRecovered) {
    Verdict verdict =
        Failure(HASTAT_OK, "the drive reports " + DescribeSenseData(sense, senseBytes));
    verdict.senseBytes = senseBytes;
    return verdict;
  }

  // The data phase: fewer bytes in than asked for is normal (the device says
  // how much it has); fewer bytes out means the device did not take all of
  // them, and a partial transfer must not pass for a whole one.
  Verdict verdict;
  const std::uint32_t residual = result.residual <= 0 ? 0
                                 : static_cast<std::uint32_t>(result.residual) > length
                                     ? length
                                     : static_cast<std::uint32_t>(result.residual);
  verdict.residual = direction == DataDirection::kNone ? 0 : residual;
  if (direction == DataDirection::kOut && verdict.residual != 0) {
    return Failure(HASTAT_DO_DU, "the drive took only " + std::to_string(length - residual) +
                                     " of " + std::to_string(length) + " bytes");
  }
  return verdict;
}

}  // namespace sg
