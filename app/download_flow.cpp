// DownloadApp::DownloadFirmware: the image sent in one command, a timed
// progress display, the settle delay and the verification by INQUIRY.
#include <cstring>
#include <string>

#include "app/download_app.h"
#include "app/interruption.h"
#include "app/run_context.h"
#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"
#include "aspi/download_opcode.h"
#include "discovery/device_table.h"
#include "download/download_command.h"
#include "image/hex_loader.h"
#include "resources/resource_ids.h"

namespace {

constexpr const char* kTextDownloading = "Downloading...";
constexpr const char* kTextSuccess = "Download has been done successfully!";
constexpr const char* kTextFailed = "Download has been failed!";

// False when a signal ended the wait.
bool SettleDelay() {
  return InterruptibleSleep(kSettleDelayMs);
}

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
// treated like a drive that fell silent after the download.
void ExplainRefusedDownload(RunRecord& record, bool timedOut, const std::string& failure) {
  if (timedOut) {
    record.failureReason =
        "Not confirmed: the drive did not complete the download "
        "command: " +
        failure + ". It may still be writing the image.";
    record.failureAdvice = kAdviceSilent;
    record.windowAdvice = kAdviceSilentInWindow;
    record.driveMayBeBusy = true;
  } else {
    record.failureReason = "The drive did not take the image: " + failure + ".";
    record.failureAdvice =
        "Check that the image is meant for this drive and that nothing else uses the drive, "
        "then try again.";
  }
}

// The download command completed, but no INQUIRY after it confirmed the
// new firmware within the reprogramming window.
void ExplainUnconfirmedDownload(RunRecord& record, int attempts, const std::string& failure) {
  record.failureReason =
      "Not confirmed: the drive took the image but did not answer afterwards, so the check after "
      "the download could not confirm the new firmware (" +
      std::to_string(attempts) + (attempts == 1 ? " INQUIRY attempt" : " INQUIRY attempts") +
      "; the last one: " + failure + "). It may still be reprogramming itself.";
  record.driveMayBeBusy = true;
  record.failureAdvice = kAdviceSilent;
  record.windowAdvice = kAdviceSilentInWindow;
}

// A command held this long in the reprogramming window gets a note on the
// status line: the drive is being waited for.
constexpr DWORD kHoldNoticeMs = 2000;
constexpr const char* kTextWaitingForDrive =
    "Waiting for the drive: it may be rewriting its firmware. Do not switch the machine off.";

// The command the window waits for now: when it was sent, and whether the
// status line says so.
DWORD g_commandSentAt = 0;
bool g_holdNoticeShown = false;

// Called about every 20 ms while a command of the window runs: the windows
// are answered, and a command the drive holds is said on the status line.
void AnswerWhileWaiting() {
  if (void (*pump)() = WaitMessagePump(); pump != nullptr) pump();
  if (!g_holdNoticeShown && g_app != nullptr && GetTickCount() - g_commandSentAt > kHoldNoticeMs) {
    g_holdNoticeShown = true;
    g_app->ShowText(kIdStatus, kTextWaitingForDrive);
  }
}

// One command of the reprogramming window, from its hand-over to its end:
// a signal meanwhile is acknowledged with what is awaited, and a note put on
// the status line while the drive held it is taken back afterwards.
class WindowCommand {
 public:
  WindowCommand(DownloadApp& app, AwaitedCommand awaited, const std::uint8_t* cdb) : app_(app) {
    g_commandSentAt = GetTickCount();
    g_holdNoticeShown = false;
    NoteAwaitedCommand(awaited, CommandTimeLimit(cdb) + CommandWaitGrace());
  }
  ~WindowCommand() {
    NoteAwaitedCommand(AwaitedCommand::kNone, std::chrono::milliseconds(0));
    if (g_holdNoticeShown) app_.ShowText(kIdStatus, kTextDownloading);
  }
  WindowCommand(const WindowCommand&) = delete;
  WindowCommand& operator=(const WindowCommand&) = delete;

 private:
  DownloadApp& app_;
};

// The check after the download: the INQUIRY completed with a CD-ROM's
// standard data, revision bytes included, into a cleared buffer (so zeros
// or the image left there never pass). The model is not required to be the
// one scanned: a firmware may change the drive's identity, which is then
// told (RunRecord::newModel).
bool ConfirmedByInquiry(DownloadApp& app, InquiryAnswer& answer) {
  const WindowCommand command(app, AwaitedCommand::kVerification, kInquiryTemplate);
  answer = AskInquiry(app.device);
  return answer.completed && HoldsStandardCdRomData(app.device);
}

// The model the scan accepted at the device's address, as the table keeps it.
std::string ScannedModel(const AspiDevice& device) {
  for (int i = 0; i < g_deviceCount && i < kDeviceTableSize; ++i) {
    if (DeviceTable[i].adapterId == device.adapterId && DeviceTable[i].targetId == device.targetId)
      return DeviceTable[i].model;
  }
  return {};
}

// Confirmation of the download, up to four INQUIRY attempts with a settle
// delay before each, none begun once the window's deadline has passed. 1
// when confirmed; 0 otherwise (unconfirmed, or a signal ended a wait).
int VerifyDownload(DownloadApp& app) {
  AspiDevice& device = app.device;
  for (int attempt = 1;; ++attempt) {
    if (!SettleDelay()) return 0;
    if (ReprogrammingDeadlinePassed()) {
      ExplainUnconfirmedDownload(app.run.record, attempt - 1,
                                 "the time the drive has to reprogram itself ran out");
      return 0;
    }
    InquiryAnswer answer;
    if (ConfirmedByInquiry(app, answer)) {
      app.ShowText(kRowNewVersion, answer.revision);
      const std::string before = ScannedModel(device);
      if (!answer.isDrive || (!before.empty() && before != answer.model))
        app.run.record.newModel = answer.model;
      return 1;
    }
    if (attempt >= kInquiryAttempts || ReprogrammingDeadlinePassed()) {
      const std::string failure = LastCommandFailure(device).Describe();
      ExplainUnconfirmedDownload(app.run.record, attempt,
                                 failure.empty() ? "an answer that was not a CD-ROM drive's "
                                                   "standard INQUIRY data"
                                                 : failure);
      return 0;
    }
  }
}

}  // namespace

int DownloadApp::DownloadFirmware() {
  RunRecord& record = run.record;
  record.outcome = Outcome::kNotDownloaded;
  record.imageReadFailed = false;
  record.downloadAttempted = false;
  record.downloadTaken = false;
  record.downloadSucceeded = false;
  record.downloadTimedOut = false;
  record.interruptedBy = 0;
  record.failureReason.clear();
  record.failureAdvice.clear();
  record.windowAdvice.clear();
  record.driveMayBeBusy = false;
  record.newModel.clear();
  // Only the drive chosen at start may receive the image.
  if (!device.HasTarget() || g_deviceCount == 0) {
    ShowText(kIdStatus, kTextFailToFindDevice);
    return 0;
  }
  if (ReadImageFile() == 0) {
    record.imageReadFailed = true;
    record.outcome = Outcome::kFailed;
    return 0;
  }
  ShowText(kIdStatus, kTextDownloading);

  std::uint8_t* image = device.dataBuffer;
  device.SetCommand(kDownloadTemplate, SRB_DIR_OUT, kDownloadLength);
  FillDownloadCommand(device.commandBlock, imageChecksum, image[0], image[1]);
  // Image bytes 0 and 1 travel in the command block; the data phase starts
  // with byte 2. Bytes 65534 and 65535 of the buffer keep their values.
  std::memmove(image, image + 2, kFirmwareImageSize - 2);

  int result = 0;
  // From here on a signal no longer ends the program at once (see
  // interruption.h); one that came first means nothing may be sent.
  if (!EnterDownloadPhase()) return 0;
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // no sleep, no shutdown
  record.downloadAttempted = true;
  // The reprogramming window (command_time_limits.h): from the download
  // command until the check after it has ended, no command is given a limit
  // that ends before the window's deadline, and the windows stay answered
  // while the drive takes its time.
  OpenReprogrammingWindow();
  SetCommandWaitHook(AnswerWhileWaiting);
  bool taken = false;
  {
    const WindowCommand command(*this, AwaitedCommand::kDownload, device.commandBlock);
    taken = device.ExecuteWait();
  }
  NoteDownloadCommandEnded();
  FixReprogrammingDeadline();
  if (taken) {
    record.downloadTaken = true;
    const DWORD start = GetTickCount();
    DWORD last = start;
    DWORD percent = 0;
    bool waited = true;
    while (percent < 100) {
      if (GetTickCount() - last > kPictureIntervalMs) {
        ToggleBusyPicture();
        last = GetTickCount();
      }
      SetProgress(static_cast<int>(percent));
      // Nothing changes before the next percent or picture: sleep till then.
      waited = WaitUntilTick(NextProgressChange(start, last, percent));
      if (!waited) break;
      percent = ProgressPercent(start, GetTickCount());
    }
    if (waited) result = VerifyDownload(*this);
  } else {
    // A download command that never ended may have reached the drive: what
    // it holds now is not known.
    const CommandFailure failure = LastCommandFailure(device);
    record.downloadTimedOut = failure.timedOut;
    ExplainRefusedDownload(record, failure.timedOut, failure.Describe());
  }
  SetCommandWaitHook(nullptr);
  CloseReprogrammingWindow();
  if (result == 0) record.interruptedBy = InterruptionSignal();
  record.downloadSucceeded = result == 1;
  // A drive that took the image, or may have, and was not confirmed is not
  // a failure a retry would mend.
  if (result == 1) {
    record.outcome = Outcome::kSuccess;
  } else if (record.interruptedBy != 0) {
    record.outcome = Outcome::kInterrupted;
  } else if (record.downloadTaken || record.downloadTimedOut) {
    record.outcome = Outcome::kUnconfirmed;
  } else {
    record.outcome = Outcome::kFailed;
  }
  ShowText(kIdStatus, result == 1 ? kTextSuccess : kTextFailed);
  SetThreadExecutionState(ES_CONTINUOUS);
  SetRunPhase(RunPhase::kShownOutcome,
              result == 0 && (record.downloadTaken || record.downloadTimedOut));
  return result;
}
