// The main window's commands: file name box, browse, release notes,
// Download, Cancel and close.
#include "app/main_dialog.h"

#include <cstdio>
#include <string>
#include <utility>

#include "app/download_app.h"
#include "app/run_context.h"
#include "aspi/command_time_limits.h"
#include "resources/resource_ids.h"

std::uint8_t g_downloadDone = 0;
char g_defaultImageName[kImagePathSize] = {};

namespace {

constexpr const char* kCaptionWarning = "Warning";
constexpr const char* kCaptionFailed = "Why the download failed";
constexpr const char* kCaptionUnconfirmed = "Why the download is not confirmed";
constexpr const char* kCaptionIncomplete = "Why the drive's firmware may be incomplete";

// DriveWork objects alive: the drive is scanned or prepared, the download
// command is on its way or the drive reprograms itself. The window does not
// end meanwhile (the waits answer its messages).
int g_driveWork = 0;
// What a refused close request shows (SetBusyCloseNote).
BusyCloseNote g_closeNote;
// The Download button reads "&Retry": a click scans again (OfferRescan).
bool g_rescanOffered = false;
constexpr const char* kDownloadLabel = "&Download";
constexpr const char* kRetryLabel = "&Retry";

// Closes the main window, or refuses while the program works with the drive.
void CloseMainWindow(HWND window) {
  if (g_driveWork == 0) {
    DestroyWindow(window);
  } else if (g_closeNote.refused) {
    g_closeNote.refused(window);
  }
}

void EnableControl(HWND window, int id, BOOL enable) {
  EnableWindow(GetDlgItem(window, id), enable);
}

// A drive was accepted at start and may be sent the image. Before the
// application object exists (the window's initialisation) nothing is known
// yet, and the scan settles it.
bool DriveChosen() {
  return g_app == nullptr || (g_app->device.HasTarget() && g_app->session.MayDownloadAgain());
}

}  // namespace

const char* BusyCloseText() {
  return InReprogrammingWindow() ? kBusyCloseText : kPreparingCloseText;
}

void SetBusyCloseNote(BusyCloseNote note) {
  g_closeNote = std::move(note);
}

DriveWork::DriveWork() {
  ++g_driveWork;
}

DriveWork::~DriveWork() {
  if (--g_driveWork == 0 && g_closeNote.ended) g_closeNote.ended();
}

void FileNameChanged(HWND window) {
  // The checksum and the revision read back belong to the image named
  // before: with another name they would pass for facts about this one.
  if (g_app != nullptr) {
    g_app->ShowText(kRowChecksum, "");
    g_app->ShowText(kRowNewVersion, "");
  }
  char text[kImagePathSize] = {};
  GetDlgItemTextA(window, kIdFileName, text, kImagePathSize);
  // Typed, or set by the program (while the window is made, its
  // initialisation records what it set).
  if (g_app != nullptr) RecordShownText(g_app->run.record, kIdFileName, text);
  if (g_rescanOffered) return;  // Retry stays usable: it needs no file
  EnableControl(window, kIdDownload, text[0] != '\0' && DriveChosen() ? TRUE : FALSE);
  // A new name after a failed download: the failure's words and picture
  // belong to the file named before.
  if (g_app != nullptr && g_app->device.HasTarget() && g_app->session.MayDownloadAgain() &&
      g_app->ShowsFailure()) {
    g_app->SetStatePicture(kBitmapLogo);
    g_app->ShowText(kIdStatus, text[0] != '\0' ? kTextReadyToDownload : kTextReady);
  }
}

void OfferRescan(HWND window) {
  g_rescanOffered = true;
  SetDlgItemTextA(window, kIdDownload, kRetryLabel);
  EnableControl(window, kIdDownload, TRUE);
}

namespace {

// After "NG!": why, and what next, for a window that has no other place to
// say it (the status line keeps its own text).
void ExplainFailure(HWND window, const RunContext& context) {
  const RunRecord& run = context.record;
  if (!context.request.explainFailures || run.failureReason.empty()) return;
  std::string text = run.failureReason;
  const std::string& advice = run.windowAdvice.empty() ? run.failureAdvice : run.windowAdvice;
  if (!advice.empty()) text += "\n\n" + advice;
  text += UnseenNotesForBox(context.request);
  const char* caption = run.downloadIncomplete ? kCaptionIncomplete
                        : run.driveMayBeBusy   ? kCaptionUnconfirmed
                                               : kCaptionFailed;
  MessageBoxA(window, text.c_str(), caption,
              static_cast<UINT>(MB_OK | (run.driveMayBeBusy ? MB_ICONWARNING : MB_ICONERROR)));
}

// Retry: the scan again, with the window as at start while it runs.
void Rescan(HWND window) {
  g_rescanOffered = false;
  SetDlgItemTextA(window, kIdDownload, kDownloadLabel);
  EnableControl(window, kIdDownload, FALSE);
  g_app->SetStatePicture(kBitmapLogo);
  const DriveWork work;
  g_app->PrepareDevice();
}

void OnDownload(HWND window) {
  if (g_rescanOffered && g_app != nullptr) {
    Rescan(window);
    return;
  }
  if (g_downloadDone != 0) {
    MessageBoxA(window, kTextReboot, kCaptionWarning, MB_OK);
    DestroyWindow(window);
    return;
  }
  if (g_app == nullptr) return;
  if (!g_app->device.HasTarget()) {
    // No drive was accepted at start (the Enter key can still send the
    // command): nothing may be sent, and the state stays as it is.
    g_app->ShowText(kIdStatus, kTextFailToFindDevice);
    return;
  }
  EnableControl(window, kIdCancel, FALSE);
  EnableControl(window, kIdBrowse, FALSE);
  EnableControl(window, kIdDownload, FALSE);
  int downloaded = 0;
  {
    const DriveWork work;
    downloaded = g_app->DownloadFirmware();
  }
  if (downloaded == 1) {
    g_app->SetStatePicture(kBitmapOk);
    // Set before the notice: a Download command dispatched while the box is
    // open must already meet the reboot warning.
    g_downloadDone = 1;
    g_app->session.TellReboot();
    return;
  }
  EnableControl(window, kIdCancel, TRUE);
  // A drive that took the image, or may have, is never sent it again in this
  // run: the image cannot be changed, and Cancel closes the window.
  if (g_app->session.MayDownloadAgain()) {
    EnableControl(window, kIdBrowse, TRUE);
  } else {
    EnableControl(window, kIdFileName, FALSE);
  }
  g_app->SetStatePicture(g_app->FailedDownloadPicture());
  ExplainFailure(window, g_app->run);
  // A signal cut the waits short: the user asked the program to end, and it
  // does once the outcome is shown (saying then what the drive got).
  if (g_app->run.record.interruptedBy != 0) DestroyWindow(window);
}

void OnCommand(HWND window, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case kIdFileName:
      if (HIWORD(wParam) == EN_CHANGE) FileNameChanged(window);
      break;
    case kIdBrowse:
      if (g_app != nullptr) g_app->ChooseImageFile();
      break;
    case kIdPicture:
      if (g_app != nullptr) {
        DialogBoxParamA(g_app->GetInstance(), MAKEINTRESOURCEA(kDialogReleaseNote), window,
                        ReleaseNoteProc, 0);
      }
      break;
    case kIdDownload:
      OnDownload(window);
      break;
    case kIdCancel:
      CloseMainWindow(window);
      break;
    default:  // IDCANCEL (the Esc key) included: nothing
      break;
  }
}

}  // namespace

int ProbeDefaultImage(HWND window) {
  std::snprintf(g_defaultImageName, sizeof g_defaultImageName, "%s", kDefaultImageName);
  if (CheckDefaultImage() == DefaultImage::kUsable) {
    SetDlgItemTextA(window, kIdFileName, g_defaultImageName);
    return 1;
  }
  MessageBoxA(window, kTextDefaultMissing, kCaptionDefaultMissing, MB_OK | MB_ICONERROR);
  EnableControl(window, kIdBrowse, TRUE);
  EnableControl(window, kIdFileName, TRUE);
  return 0;
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      // Runs while the window is being created: g_app is still null, and
      // the run comes as the parameter (none: a plain run).
      RunContext* run = reinterpret_cast<RunContext*>(lParam);
      g_rescanOffered = false;  // a new window starts as Download
      EnableControl(window, kIdBrowse, FALSE);
      EnableControl(window, kIdFileName, FALSE);
      const char* image = run == nullptr ? "" : run->request.initialImage.c_str();
      if (image[0] == '\0' && run != nullptr && run->request.runAllWith != nullptr) {
        // The session looks for it, and tells when it is missing.
        if (CheckDefaultImage() == DefaultImage::kUsable) {
          std::snprintf(g_defaultImageName, sizeof g_defaultImageName, "%s", kDefaultImageName);
          SetDlgItemTextA(window, kIdFileName, g_defaultImageName);
          image = g_defaultImageName;
        }
      } else if (image[0] == '\0') {
        image = ProbeDefaultImage(window) == 1 ? g_defaultImageName : "";
      } else {
        // An image named up front is the one flashed, as a present default
        // image would be: the default is not looked for, so its absence is
        // not reported, and the name cannot be changed by mistake.
        SetDlgItemTextA(window, kIdFileName, image);
      }
      if (run != nullptr) RecordShownText(run->record, kIdFileName, image);
      return TRUE;
    }
    case WM_COMMAND:
      OnCommand(window, wParam);
      return TRUE;
    case WM_CLOSE:
      CloseMainWindow(window);
      return TRUE;
    case WM_DESTROY:
      if (g_app != nullptr) g_app->run.record.mainWindowClosed = true;
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

void DownloadApp::ChooseImageFile() {
  char path[kImagePathSize] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = mainWindow;
  // Both spellings of the extension, for file systems that tell them apart.
  dialog.lpstrFilter = "Firmware file (*.HEX)\0*.HEX;*.hex\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path;
  dialog.nMaxFile = kImagePathSize;
  dialog.Flags = OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameA(&dialog)) return;
  ShowText(kIdFileName, path);
  // Not left to the box's EN_CHANGE: not every edit control sends it for
  // text the program sets (under Wine in the test machine, none came).
  FileNameChanged(mainWindow);
}

INT_PTR CALLBACK ReleaseNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_CLOSE:
      EndDialog(window, 1);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdReleaseNoteOk) EndDialog(window, 1);
      return TRUE;
    default:
      return FALSE;
  }
}
