// FlashSession::Download: the image sent in one command, a timed progress
// display, the settle delay and the verification by INQUIRY.
#include <cstring>
#include <string>

#include "aspi/aspi_device.h"
#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"
#include "aspi/download_opcode.h"
#include "discovery/device_table.h"
#include "download/download_command.h"
#include "image/hex_loader.h"
#include "session/flash_session.h"
#include "session/session_observer.h"
#include "system/interruption.h"
#include "system/system_time.h"

namespace {

// The same at the window: starting the program again shows the revision
// (and on Windows a box would break the command at its hyphens).
constexpr const char* kAdviceSilentInWindow =
    "Do not switch the machine off. Wait a few minutes, then start this program again: its "
    "window shows the drive's revision. Then reboot.";
constexpr const char* kAdviceSilent =
    "Do not switch the machine off. Wait a few minutes, then check the drive's revision with "
    "'qtr5-download --list' and reboot.";

// The download command failed. A drive that refused it says why; one that
// did not finish it in time may have taken some of the image, so it must be
// treated like a drive that fell silent after the download; one that failed
// while writing may hold part of it, and must be flashed again at once.
void ExplainFailedDownload(RunRecord& record, const CommandFailure& failure) {
  if (failure.timedOut) {
    record.failureReason =
        "Not confirmed: the drive did not complete the download "
        "command: " +
        failure.Describe() + ". It may still be writing the image.";
    record.failureAdvice = kAdviceSilent;
    record.windowAdvice = kAdviceSilentInWindow;
    record.driveMayBeBusy = true;
  } else if (failure.MayHaveWrittenPart()) {
    record.downloadIncomplete = true;
    record.failureReason =
        "The drive failed while writing: its firmware may be incomplete; do not switch the "
        "machine off or reboot; flash it again now (" +
        failure.Describe() + ").";
    record.failureAdvice =
        "Do not switch the machine off or reboot: run the same command again now, with the same "
        "image.";
    record.windowAdvice =
        "Do not switch the machine off or reboot: choose the same image again and click Download "
        "now.";
  } else {
    record.failureReason = "The drive did not take the image: " + failure.Describe() + ".";
    record.failureAdvice =
        "Check that the image is meant for this drive and that nothing else uses the drive, "
        "then try again.";
  }
}

// The download command completed, but no INQUIRY after it confirmed the
// new firmware within the reprogramming window. "Did not answer" is said of
// silence only; a drive that kept answering not ready, or answered
// otherwise, is told as such.
void ExplainUnconfirmedDownload(RunRecord& record, const CommandFailure& last) {
  const int attempts = record.checkInquiries;
  std::string what = "did not answer afterwards";
  std::string failure = last.Describe();
  if (attempts == 0) {
    failure = "the time the drive has to reprogram itself ran out";
  } else if (last.DriveBusy()) {
    what =
        "kept answering that it was not ready until the time it has to reprogram itself ran "
        "out";
  } else if (!last.failed) {
    what = "answered afterwards with data that is not a CD-ROM drive's";
    failure = "an answer that was not a CD-ROM drive's standard INQUIRY data";
  } else if (!last.timedOut && !last.noDevice) {
    what = "answered afterwards with errors only";
  }
  std::string count =
      std::to_string(attempts) + (attempts == 1 ? " INQUIRY attempt" : " INQUIRY attempts");
  if (record.driveWaitedForMs != 0)
    count += " in " + std::to_string(record.driveWaitedForMs / 1000) + " s";
  record.failureReason = "Not confirmed: the drive took the image but " + what +
                         ", so the check after the download could not confirm the new firmware (" +
                         count + "; the last one: " + failure +
                         "). It may still be reprogramming itself.";
  record.driveMayBeBusy = true;
  record.failureAdvice = kAdviceSilent;
  record.windowAdvice = kAdviceSilentInWindow;
}

// A command held this long in the reprogramming window gets a note on the
// status line: the drive is being waited for.
constexpr std::uint32_t kHoldNoticeMs = 2000;
constexpr const char* kTextWaitingForDrive =
    "Waiting for the drive: it may be rewriting its firmware. Do not switch the machine off.";
// The drive answers, and says it is still busy.
constexpr const char* kTextWaitingForBusyDrive =
    "Waiting for the drive: it says it is busy and may be rewriting its firmware. Do not switch "
    "the machine off.";

// The session whose download runs: the device's wait hook reaches it here.
FlashSession* g_downloading = nullptr;
void AnswerWhileWaiting() {
  if (g_downloading != nullptr) g_downloading->AnswerWhileWaiting();
}

// The model the scan accepted at the device's address, as the table keeps it.
std::string ScannedModel(const AspiDevice& device) {
  for (int i = 0; i < g_deviceCount && i < kDeviceTableSize; ++i) {
    if (DeviceTable[i].adapterId == device.adapterId && DeviceTable[i].targetId == device.targetId)
      return DeviceTable[i].model;
  }
  return {};
}

}  // namespace

// One command of the reprogramming window, from its hand-over to its end:
// a signal meanwhile is acknowledged with what is awaited, and a note put on
// the status line while the drive held it is taken back afterwards.
class WindowCommand {
 public:
  WindowCommand(FlashSession& session, AwaitedCommand awaited, const std::uint8_t* cdb)
      : session_(session) {
    session_.commandSentAt_ = qtr5::TickCount();
    session_.holdNoticeShown_ = false;
    NoteAwaitedCommand(awaited, CommandTimeLimit(cdb) + CommandWaitGrace());
  }
  ~WindowCommand() {
    NoteAwaitedCommand(AwaitedCommand::kNone, std::chrono::milliseconds(0));
    if (session_.holdNoticeShown_) session_.observer_.WaitingEnded(kTextDownloading);
  }
  WindowCommand(const WindowCommand&) = delete;
  WindowCommand& operator=(const WindowCommand&) = delete;

 private:
  FlashSession& session_;
};

void FlashSession::AnswerWhileWaiting() {
  if (request_.waitPump) request_.waitPump();
  if (!holdNoticeShown_ && qtr5::TickCount() - commandSentAt_ > kHoldNoticeMs) {
    holdNoticeShown_ = true;
    observer_.WaitingNote(kTextWaitingForDrive);
  }
}

bool FlashSession::Pause(std::uint32_t milliseconds) {
  return InterruptibleSleep(milliseconds, request_.waitPump);
}

bool FlashSession::WindowOver() const {
  const auto length = std::chrono::milliseconds(kReprogrammingWindowLength).count();
  return ReprogrammingDeadlinePassed() ||
         qtr5::TickCount() - downloadEndedAt_ >= static_cast<std::uint32_t>(length);
}

// The check after the download: the INQUIRY completed with a CD-ROM's
// answer by the scan's own rule (AskInquiry), into a cleared buffer (so
// zeros or the image left there never pass). The model is not required to
// be the one scanned: a firmware may change the drive's identity, which is
// then told (RunRecord::newModel).
bool FlashSession::ConfirmedByInquiry(InquiryAnswer& answer) {
  const WindowCommand command(*this, AwaitedCommand::kVerification, kInquiryTemplate);
  ++record_.checkInquiries;
  answer = AskInquiry(device_);
  return answer.completed && answer.cdRom;
}

// Confirmation of the download: up to four INQUIRY attempts with a settle
// delay before each; a drive that still answers busy then is asked again
// every few seconds, as long as it does, until the window's deadline. No
// attempt is begun once the deadline has passed. False when not confirmed,
// or a signal ended a wait.
bool FlashSession::VerifyDownload() {
  CommandFailure last;
  bool confirmed = false;
  bool waited = false;
  for (int attempt = 1;; ++attempt) {
    waited = attempt > kInquiryAttempts;
    if (waited) observer_.WaitingNote(kTextWaitingForBusyDrive);
    if (!Pause(waited ? kBusyInquiryIntervalMs : kSettleDelayMs)) return false;
    if (WindowOver()) break;
    InquiryAnswer answer;
    confirmed = ConfirmedByInquiry(answer);
    if (confirmed) {
      Row(ReportRow::kNewVersion, answer.revision);
      const std::string before = ScannedModel(device_);
      if (!answer.isDrive || (!before.empty() && before != answer.model))
        record_.newModel = answer.model;
      break;
    }
    last = LastCommandFailure(device_);
    if (WindowOver() || (attempt >= kInquiryAttempts && !last.DriveBusy())) break;
  }
  if (waited) record_.driveWaitedForMs = qtr5::TickCount() - downloadEndedAt_;
  if (!confirmed) ExplainUnconfirmedDownload(record_, last);
  return confirmed;
}

void FlashSession::ResetDownloadRecord() {
  RunRecord& record = record_;
  record.outcome = Outcome::kNotDownloaded;
  record.imageReadFailed = false;
  record.downloadAttempted = false;
  record.downloadTaken = false;
  record.downloadSucceeded = false;
  record.downloadTimedOut = false;
  record.downloadIncomplete = false;
  record.checkInquiries = 0;
  record.driveWaitedForMs = 0;
  record.interruptedBy = 0;
  record.failureReason.clear();
  record.failureAdvice.clear();
  record.windowAdvice.clear();
  record.driveMayBeBusy = false;
  record.newModel.clear();
  record.wouldDownload = false;
}

DownloadResult FlashSession::Download(const std::string& path, bool nameTooLong) {
  if (busy_) return DownloadResult::kBusy;
  if (imageSent_) return DownloadResult::kNotSent;  // one download per run
  ResetDownloadRecord();
  // Only the drive chosen at start may receive the image.
  if (!DriveChosen()) {
    Status(kTextFailToFindDevice);
    return DownloadResult::kNotSent;
  }
  if (ReadImage(path, nameTooLong) != ImageResult::kRead) {
    record_.imageReadFailed = true;
    record_.outcome = Outcome::kFailed;
    return DownloadResult::kNotSent;
  }
  if (request_.dryRun) {
    // Everything that could stop the download has been judged.
    record_.wouldDownload = true;
    record_.outcome = Outcome::kSuccess;
    return DownloadResult::kNotSent;
  }
  busy_ = true;
  const DownloadResult result = SendImage();
  busy_ = false;
  return result;
}

DownloadResult FlashSession::SendImage() {
  RunRecord& record = record_;
  Status(kTextDownloading);

  std::uint8_t* image = device_.dataBuffer;
  device_.SetCommand(kDownloadTemplate, SRB_DIR_OUT, kDownloadLength);
  FillDownloadCommand(device_.commandBlock, imageChecksum_, image[0], image[1]);
  // Image bytes 0 and 1 travel in the command block; the data phase starts
  // with byte 2. Bytes 65534 and 65535 of the buffer keep their values.
  std::memmove(image, image + 2, kFirmwareImageSize - 2);

  // From here on a signal no longer ends the program at once (see
  // interruption.h); one that came first means nothing may be sent.
  if (!EnterDownloadPhase()) return DownloadResult::kNotSent;
  qtr5::KeepSystemAwake(true);  // no sleep, no shutdown
  record.downloadAttempted = true;
  // The reprogramming window (command_time_limits.h): from the download
  // command until the check after it has ended, no command is given a limit
  // that ends before the window's deadline, and the windows stay answered
  // while the drive takes its time.
  // Set before the command leaves: whatever happens to it from here, the
  // drive may hold the image.
  imageSent_ = true;
  OpenReprogrammingWindow();
  g_downloading = this;
  SetCommandWaitHook(::AnswerWhileWaiting);
  bool taken = false;
  {
    const WindowCommand command(*this, AwaitedCommand::kDownload, device_.commandBlock);
    taken = device_.ExecuteWait();
  }
  NoteDownloadCommandEnded();
  FixReprogrammingDeadline();
  downloadEndedAt_ = qtr5::TickCount();
  bool confirmed = false;
  if (taken) {
    record.downloadTaken = true;
    const std::uint32_t start = qtr5::TickCount();
    std::uint32_t last = start;
    std::uint32_t percent = 0;
    bool waited = true;
    bool waitFrame = false;
    while (percent < 100) {
      if (qtr5::TickCount() - last > kPictureIntervalMs) {
        waitFrame = !waitFrame;
        observer_.BusyTick(waitFrame);
        last = qtr5::TickCount();
      }
      observer_.ProgressChanged(static_cast<int>(percent));
      // Nothing changes before the next percent or picture: sleep till then.
      waited = WaitUntilTick(NextProgressChange(start, last, percent), request_.waitPump);
      if (!waited) break;
      percent = ProgressPercent(start, qtr5::TickCount());
    }
    if (waited) confirmed = VerifyDownload();
  } else {
    // A download command that never ended may have reached the drive: what
    // it holds now is not known.
    const CommandFailure failure = LastCommandFailure(device_);
    record.downloadTimedOut = failure.timedOut;
    // A drive that refused the command, or failed while writing, is not at
    // work on it: it may be asked again.
    imageSent_ = failure.timedOut;
    ExplainFailedDownload(record, failure);
  }
  SetCommandWaitHook(nullptr);
  g_downloading = nullptr;
  CloseReprogrammingWindow();
  if (!confirmed) record.interruptedBy = InterruptionSignal();
  record.downloadSucceeded = confirmed;
  // A drive that took the image, or may have, and was not confirmed is not
  // a failure a retry would mend; one that failed while writing needs the
  // retry at once, whatever else happened.
  DownloadResult result = DownloadResult::kFailed;
  if (confirmed) {
    record.outcome = Outcome::kSuccess;
    result = DownloadResult::kConfirmed;
  } else if (record.downloadIncomplete) {
    record.outcome = Outcome::kIncomplete;
    result = DownloadResult::kIncomplete;
  } else if (record.interruptedBy != 0) {
    record.outcome = Outcome::kInterrupted;
    result = DownloadResult::kInterrupted;
  } else if (record.downloadTaken || record.downloadTimedOut) {
    record.outcome = Outcome::kUnconfirmed;
    result = DownloadResult::kUnconfirmed;
  } else {
    record.outcome = Outcome::kFailed;
  }
  Status(DownloadEndText(record));
  qtr5::KeepSystemAwake(false);
  SetRunPhase(RunPhase::kShownOutcome,
              !confirmed && (record.downloadTaken || record.downloadTimedOut));
  return result;
}

DownloadEnd DownloadEndOf(const RunRecord& record) {
  if (record.downloadSucceeded) return DownloadEnd::kSucceeded;
  if (record.downloadIncomplete) return DownloadEnd::kIncomplete;
  if (record.downloadTaken || record.downloadTimedOut) return DownloadEnd::kUnconfirmed;
  return DownloadEnd::kFailed;
}

const char* DownloadEndText(const RunRecord& record) {
  switch (DownloadEndOf(record)) {
    case DownloadEnd::kSucceeded:
      return kTextDownloadSucceeded;
    case DownloadEnd::kIncomplete:
      return kTextDownloadIncomplete;
    case DownloadEnd::kUnconfirmed:
      return kTextDownloadUnconfirmed;
    case DownloadEnd::kFailed:
      break;
  }
  return kTextDownloadFailed;
}

void FlashSession::TellReboot() {
  observer_.Notice(kCaptionNotice, kTextReboot);
}
