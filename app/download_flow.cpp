// DownloadApp::DownloadFirmware: the image sent in one command, a timed
// progress display, the settle delay and the verification by INQUIRY.
#include <cstring>
#include <string>

#include "app/download_app.h"
#include "app/interruption.h"
#include "app/run_options.h"
#include "aspi/command_failure.h"
#include "aspi/download_opcode.h"
#include "discovery/device_table.h"
#include "download/download_command.h"
#include "image/hex_loader.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kNewVersionRow = 4;
constexpr const char* kTextDownloading = "Downloading...";
constexpr const char* kTextSuccess = "Download has been done successfully!";
constexpr const char* kTextFailed = "Download has been failed!";

// False when a signal ended the wait.
bool SettleDelay() {
  return InterruptibleSleep(kSettleDelayMs);
}

constexpr const char* kAdviceSilent =
    "Do not switch the machine off. Wait a few minutes, then check the drive's revision with "
    "'qtr5-download --list' and reboot.";

// The download command failed. A drive that refused it says why; one that
// did not finish it in time may have taken some of the image, so it must be
// treated like a drive that fell silent after the download.
void ExplainRefusedDownload(bool timedOut, const std::string& failure) {
  if (timedOut) {
    g_runOutcome.failureReason = "The drive did not complete the download command: " + failure +
                                 ". It may still be writing the image.";
    g_runOutcome.failureAdvice = kAdviceSilent;
    g_runOutcome.driveMayBeBusy = true;
  } else {
    g_runOutcome.failureReason = "The drive did not take the image: " + failure + ".";
    g_runOutcome.failureAdvice =
        "Check that the image is meant for this drive and that nothing else uses the drive, "
        "then try again.";
  }
}

// The download command completed, but no INQUIRY after it did.
void ExplainUnconfirmedDownload(const std::string& failure) {
  g_runOutcome.failureReason =
      "The drive took the image but did not answer afterwards, so the check after the "
      "download could not confirm the new firmware (" +
      std::to_string(kInquiryAttempts) + " INQUIRY attempts; the last one: " + failure +
      "). It may still be reprogramming itself.";
  g_runOutcome.driveMayBeBusy = true;
  g_runOutcome.failureAdvice = kAdviceSilent;
}

}  // namespace

int DownloadApp::DownloadFirmware() {
  g_runOutcome.imageReadFailed = false;
  g_runOutcome.downloadAttempted = false;
  g_runOutcome.downloadTaken = false;
  g_runOutcome.downloadSucceeded = false;
  g_runOutcome.downloadTimedOut = false;
  g_runOutcome.interruptedBy = 0;
  g_runOutcome.failureReason.clear();
  g_runOutcome.failureAdvice.clear();
  g_runOutcome.driveMayBeBusy = false;
  // Only the drive chosen at start may receive the image.
  if (!device.HasTarget() || g_deviceCount == 0) {
    ShowText(kIdStatus, kTextFailToFindDevice);
    return 0;
  }
  if (ReadImageFile() == 0) {
    g_runOutcome.imageReadFailed = true;
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
  g_runOutcome.downloadAttempted = true;
  if (device.ExecuteWait()) {
    g_runOutcome.downloadTaken = true;
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
    // Only an answer that identifies the drive as the scan does counts: the
    // buffer still holds the image, and a short or empty answer must show
    // neither image bytes as the new revision nor pass for success.
    for (int attempt = 1; waited && SettleDelay(); ++attempt) {
      const InquiryAnswer answer = AskInquiry(device);
      if (answer.isDrive) {
        ShowText(kNewVersionRow, answer.revision);
        result = 1;
        break;
      }
      if (attempt >= kInquiryAttempts) {
        const std::string failure = LastCommandFailure(device).Describe();
        ExplainUnconfirmedDownload(failure.empty() ? "an answer that did not identify the drive"
                                                   : failure);
        break;
      }
    }
  } else {
    // A download command that never ended may have reached the drive: what
    // it holds now is not known.
    const CommandFailure failure = LastCommandFailure(device);
    g_runOutcome.downloadTimedOut = failure.timedOut;
    ExplainRefusedDownload(failure.timedOut, failure.Describe());
  }
  if (result == 0 && g_runOutcome.downloadTaken) g_runOutcome.interruptedBy = InterruptionSignal();
  g_runOutcome.downloadSucceeded = result == 1;
  ShowText(kIdStatus, result == 1 ? kTextSuccess : kTextFailed);
  SetThreadExecutionState(ES_CONTINUOUS);
  SetRunPhase(RunPhase::kShownOutcome,
              result == 0 && (g_runOutcome.downloadTaken || g_runOutcome.downloadTimedOut));
  return result;
}
