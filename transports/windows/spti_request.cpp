#include "transports/windows/spti_request.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"

namespace spti {

namespace {

constexpr UCHAR kScsiStatusGood = 0x00;
constexpr UCHAR kScsiStatusCheckCondition = 0x02;
constexpr UCHAR kScsiStatusConditionMet = 0x04;
constexpr int kSenseKeyNoSense = 0x0;
constexpr int kSenseKeyRecovered = 0x1;

// The (cleared) sense buffer holds sense data when it has a response code.
bool HasSense(const SptiRequest& request) {
  return (request.sense[0] & 0x7F) != 0;
}

// The sense key of fixed (0x70, 0x71) or descriptor (0x72, 0x73) sense data.
int SenseKey(const UCHAR* sense) {
  const int code = sense[0] & 0x7F;
  return (code == 0x72 || code == 0x73) ? (sense[1] & 0x0F) : (sense[2] & 0x0F);
}

}  // namespace

bool IsTimeoutError(DWORD error) {
  return error == ERROR_SEM_TIMEOUT || error == ERROR_TIMEOUT || error == WAIT_TIMEOUT;
}

bool IsGoneError(DWORD error) {
  return error == ERROR_DEV_NOT_EXIST || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_INVALID_HANDLE;
}

std::string Hex(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

std::string DescribeOutcome(const SptiRequest& request, DWORD requestedLength) {
  std::string text = "SCSI status " + Hex(request.sptd.ScsiStatus);
  if (HasSense(request)) {
    const std::string sense =
        DescribeSenseData(request.sense, static_cast<int>(sizeof request.sense));
    if (!sense.empty()) text += ", " + sense;
  }
  if (request.sptd.DataIn == SCSI_IOCTL_DATA_OUT &&
      request.sptd.DataTransferLength < requestedLength) {
    text += ", only " + std::to_string(request.sptd.DataTransferLength) + " of " +
            std::to_string(requestedLength) + " bytes taken";
  }
  return text;
}

std::string SptiTransferRefusal(const SptiAdapterLimits& limits, DWORD length, DWORD pageSize) {
  if (!limits.known || length == 0) return std::string();
  if (limits.maximumTransferLength < length) {
    return "the adapter moves at most " + std::to_string(limits.maximumTransferLength) +
           " bytes in one command, but the command needs " + std::to_string(length);
  }
  // The buffer starts on a page boundary, so it spans this many pages.
  const DWORD pages = length / pageSize + (length % pageSize != 0 ? 1 : 0);
  if (limits.maximumPhysicalPages < pages) {
    return "the adapter moves at most " + std::to_string(limits.maximumPhysicalPages) +
           " memory pages in one command, but the command's " + std::to_string(length) +
           " bytes span " + std::to_string(pages);
  }
  return std::string();
}

std::size_t SptiDataAlignment(const SptiAdapterLimits& limits, DWORD pageSize) {
  std::size_t alignment = pageSize;
  // The mask is one less than a power of two: 0, 1, 3, 7...
  while (limits.known && alignment <= limits.alignmentMask) alignment *= 2;
  return alignment;
}

void BuildSptiRequest(const SRB_ExecSCSICmd& srb, const SCSI_ADDRESS& address,
                      SptiRequest& request) {
  CommandRequest command;
  command.cdb = srb.CDBByte;
  command.cdbLength = srb.SRB_CDBLen;
  command.direction =
      (srb.SRB_Flags & SRB_DIR_OUT) != 0 ? CommandDirection::kOut : CommandDirection::kIn;
  command.data = srb.SRB_BufPointer;
  command.length = srb.SRB_BufLen;
  BuildSptiRequest(command, address, request);
}

void BuildSptiRequest(const CommandRequest& command, const SCSI_ADDRESS& address,
                      SptiRequest& request) {
  std::memset(&request, 0, sizeof request);
  SCSI_PASS_THROUGH_DIRECT& sptd = request.sptd;
  sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  sptd.PathId = address.PathId;
  sptd.TargetId = address.TargetId;
  sptd.Lun = address.Lun;
  sptd.CdbLength = static_cast<UCHAR>(command.cdbLength);
  sptd.SenseInfoLength = sizeof request.sense;
  sptd.SenseInfoOffset = offsetof(SptiRequest, sense);
  sptd.DataTransferLength = command.length;
  sptd.DataBuffer = command.length != 0 ? command.data : nullptr;
  if (command.length == 0) {
    sptd.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
  } else if (command.direction == CommandDirection::kOut) {
    sptd.DataIn = SCSI_IOCTL_DATA_OUT;
  } else {
    sptd.DataIn = SCSI_IOCTL_DATA_IN;
  }
  std::memcpy(sptd.Cdb, command.cdb, std::min<std::size_t>(command.cdbLength, sizeof sptd.Cdb));
  const auto limit = CommandTimeLimit(command.cdb).count();
  const long long seconds = (limit + 999) / 1000;
  sptd.TimeOutValue = static_cast<ULONG>(std::clamp<long long>(seconds, 1, 108000));
}

SptiVerdict JudgeSpti(bool ioctlSucceeded, DWORD error, const SptiRequest& request,
                      DWORD requestedLength) {
  SptiVerdict verdict;
  if (!ioctlSucceeded) {
    // The command did not run to an end the drive reported: whatever is in
    // the sense buffer is not to be trusted.
    if (IsTimeoutError(error)) {
      verdict.haStat = HASTAT_COMMAND_TIMEOUT;
    } else if (IsGoneError(error)) {
      verdict.haStat = HASTAT_SEL_TO;
    }
    return verdict;
  }
  // Judged as the layers answer: the target's status, its sense data, then
  // the data phase.
  verdict.targStat = request.sptd.ScsiStatus;
  const bool goodStatus =
      verdict.targStat == kScsiStatusGood || verdict.targStat == kScsiStatusConditionMet;
  if (!goodStatus) {
    verdict.withSense = verdict.targStat == kScsiStatusCheckCondition && HasSense(request);
  } else if (HasSense(request)) {
    // With a good status, a recovered error is still a success; any other
    // sense key is not.
    const int key = SenseKey(request.sense);
    verdict.withSense = key != kSenseKeyNoSense && key != kSenseKeyRecovered;
  }
  // Fewer bytes in than asked for is normal (the device says how much it
  // has); fewer bytes out means the drive did not take the whole image.
  const bool shortWrite = request.sptd.DataIn == SCSI_IOCTL_DATA_OUT &&
                          request.sptd.DataTransferLength < requestedLength;
  if (goodStatus && !verdict.withSense && shortWrite) verdict.haStat = HASTAT_DO_DU;
  verdict.clean = goodStatus && !verdict.withSense && !shortWrite;
  return verdict;
}

CommandVerdict SptiOutcome(bool ioctlSucceeded, DWORD error, const SptiRequest& request,
                           DWORD requestedLength) {
  const SptiVerdict judged = JudgeSpti(ioctlSucceeded, error, request, requestedLength);
  CommandVerdict verdict;
  verdict.status = judged.clean ? SS_COMP : SS_ERR;
  verdict.haStat = judged.haStat;
  verdict.targStat = judged.targStat;
  if (judged.withSense) verdict.sense.assign(request.sense, request.sense + sizeof request.sense);
  return verdict;
}

void StoreSptiOutcome(bool ioctlSucceeded, DWORD error, const SptiRequest& request,
                      SRB_ExecSCSICmd& srb) {
  FinishExec(srb, SptiOutcome(ioctlSucceeded, error, request, srb.SRB_BufLen));
}

}  // namespace spti
