// DownloadApp::DownloadFirmware: the image sent in one command, a timed
// progress display, the settle delay and the verification by INQUIRY.
#include "download/download_firmware.h"

#include <cstring>
#include <string>

#include "app/download_app.h"
#include "app/resource_ids.h"
#include "app/run_options.h"
#include "aspi/command_failure.h"
#include "aspi/download_opcode.h"
#include "discovery/device_table.h"
#include "download/interruption.h"
#include "image/hex_loader.h"

const std::uint8_t kDownloadTemplate[12] = {
    aspi::kDownloadOpcode, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0x02, 0x00, 0x00};

namespace {

constexpr int kNewVersionRow = 4;
constexpr const char* kTextDownloading = "Downloading...";
constexpr const char* kTextSuccess = "Download has been done successfully!";
constexpr const char* kTextFailed = "Download has been failed!";

// Tick differences are taken modulo 2^32, so a counter that wraps neither
// ends nor lengthens the display; the percentage is computed in 64 bits so
// that even a very late reading cannot wrap back below 100.
DWORD PercentSince(DWORD start) {
  const DWORD elapsed = GetTickCount() - start;
  return static_cast<DWORD>(static_cast<std::uint64_t>(elapsed) * 100 / kProgressSpanMs);
}

// The tick at which the display next has something new to show: the next
// whole percent, or the picture change once more than the interval has passed.
DWORD NextChange(DWORD start, DWORD last, DWORD percent) {
  const DWORD nextPercent =
      static_cast<DWORD>(((std::uint64_t{percent} + 1) * kProgressSpanMs + 99) / 100);
  const DWORD nextPicture = (last - start) + kPictureIntervalMs + 1;
  return start + (nextPercent < nextPicture ? nextPercent : nextPicture);
}

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
  device.commandBlock[3] = 0x77;
  device.commandBlock[5] = static_cast<std::uint8_t>(imageChecksum >> 8);
  device.commandBlock[6] = static_cast<std::uint8_t>(imageChecksum & 0xFF);
  device.commandBlock[10] = image[0];
  device.commandBlock[11] = image[1];
  // Image bytes 0 and 1 travel in the command block; the data phase starts
  // with byte 2. Bytes 65534 and 65535 of the buffer keep their values.
  std::memmove(image, image + 2, kFirmwareImageSize - 2);

  int result = 0;
  // From here on a signal no longer ends the program at once (see
  // interruption.h); one that came first means nothing may be sent.
  if (!EnterDownloadPhase()) return 0;
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
      waited = WaitUntilTick(NextChange(start, last, percent));
      if (!waited) break;
      percent = PercentSince(start);
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
  SetRunPhase(RunPhase::kShownOutcome,
              result == 0 && (g_runOutcome.downloadTaken || g_runOutcome.downloadTimedOut));
  return result;
}
