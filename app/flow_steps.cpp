// The described members of the flow, each a step of the flash session: the
// scan and the tray at start-up, the image read and the download on the
// Download command. The image is the one the file name box names.
#include <string>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "resources/resource_ids.h"
#include "session/flash_session.h"

namespace {

// The file name box's text; `tooLong` when it does not fit the window's
// text buffer (its first characters could name another file).
std::string ImageNameInBox(HWND window, bool& tooLong) {
  char path[kImagePathSize] = {};
  SendDlgItemMessageA(window, kIdFileName, WM_GETTEXT, kImagePathSize,
                      reinterpret_cast<LPARAM>(path));
  path[kImagePathSize - 1] = '\0';
  const LRESULT length = SendDlgItemMessageA(window, kIdFileName, WM_GETTEXTLENGTH, 0, 0);
  tooLong = path[0] != '\0' && length >= kImagePathSize;
  return tooLong ? std::string() : std::string(path);
}

}  // namespace

bool DownloadApp::ScanDevices() {
  return session.Scan() == ScanResult::kChosen;
}

void DownloadApp::OpenTray() {
  session.OpenTray();
}

int DownloadApp::ReadImageFile() {
  bool tooLong = false;
  const std::string path = ImageNameInBox(mainWindow, tooLong);
  const ImageResult result = session.ReadImage(path, tooLong);
  imageChecksum = session.ImageChecksum();
  return result == ImageResult::kRead ? 1 : 0;
}

void DownloadApp::RunAllSteps() {
  {
    // The window refuses to close while the drive is worked with.
    const DriveWork work;
    EnableWindow(GetDlgItem(mainWindow, kIdDownload), FALSE);
    EnableWindow(GetDlgItem(mainWindow, kIdBrowse), FALSE);
    EnableWindow(GetDlgItem(mainWindow, kIdCancel), FALSE);
    EnableWindow(GetDlgItem(mainWindow, kIdFileName), FALSE);
    // The window's placeholder until the session's own texts come.
    if (device.IsAvailable()) SetDlgItemTextA(mainWindow, kIdStatus, kTextSearching);
    session.RunAll(run.request.initialImage);
    imageChecksum = session.ImageChecksum();
    if (run.record.downloadSucceeded) {
      SetStatePicture(kBitmapOk);
    } else if (run.record.outcome == Outcome::kNotReady || run.record.dryRun) {
      // A drive is there: it was not ready yet, or nothing was to be sent.
    } else if (!run.record.driveChosen) {
      SetStatePicture(kBitmapNoDevice);
    } else if (run.record.outcome != Outcome::kNotDownloaded) {
      SetStatePicture(FailedDownloadPicture());
    }
  }
  DestroyWindow(mainWindow);
}

int DownloadApp::FailedDownloadPicture() const {
  switch (DownloadEndOf(run.record)) {
    case DownloadEnd::kIncomplete:
      return kBitmapIncomplete;
    case DownloadEnd::kUnconfirmed:
      return kBitmapUnconfirmed;
    case DownloadEnd::kSucceeded:
    case DownloadEnd::kFailed:
      break;
  }
  return kBitmapNg;
}

int DownloadApp::DownloadFirmware() {
  bool tooLong = false;
  const std::string path = ImageNameInBox(mainWindow, tooLong);
  const DownloadResult result = session.Download(path, tooLong);
  imageChecksum = session.ImageChecksum();
  return result == DownloadResult::kConfirmed ? 1 : 0;
}
