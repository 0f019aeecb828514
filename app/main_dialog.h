// The main window's dialog procedure and what belongs to it: the default
// image probe, the browse button's open-file dialog (DownloadApp::
// ChooseImageFile) and the Release Note dialog.
#pragma once

#include <cstdint>
#include <functional>

#include "image/firmware_image.h"
#include "session/default_image.h"
#include "winui/winapi.h"

// 1 once a download has succeeded in this run; a second one is refused.
extern std::uint8_t g_downloadDone;
// The answer to a request to close the main window while the program works
// with the drive, the same on every desktop program.
inline constexpr const char* kBusyCloseText =
    "The program is working with the drive and cannot be closed now. Wait until it has "
    "finished: a drive that is reprogramming itself must not be interrupted.";

// The same answer while the drive is looked for or the download prepared:
// nothing has been written yet, and the wait is short.
inline constexpr const char* kPreparingCloseText =
    "The program is looking for the drive or preparing the download and cannot be closed now. "
    "Wait a moment: nothing has been written to the drive, and the window can be closed as soon "
    "as this has ended.";
// The answer that fits the work going on now: kBusyCloseText from the
// download command until the drive's check after it has ended,
// kPreparingCloseText before.
const char* BusyCloseText();

// How the main window answers a request to close it while the program works
// with the drive (the start-up's scan and tray, the download): it refuses
// (a drive that reprograms itself must be seen through; a scan cut short
// would leave the window gone under it), `refused` says so (BusyCloseText()),
// and `ended` withdraws what it showed once that work has ended. Each
// desktop program registers its own note with SetBusyCloseNote. Empty
// members (the default): the request is refused without a word.
struct BusyCloseNote {
  std::function<void(HWND window)> refused;
  std::function<void()> ended;
};
void SetBusyCloseNote(BusyCloseNote note);

// The program works with the drive while one of these lives: the main window
// refuses to close meanwhile, and when the last one ends, the registered
// note's `ended` runs.
class DriveWork {
 public:
  DriveWork();
  ~DriveWork();
  DriveWork(const DriveWork&) = delete;
  DriveWork& operator=(const DriveWork&) = delete;
};

// The default image's name, once the probe has run.
extern char g_defaultImageName[kImagePathSize];

// Dialog procedure of the main window (template 102).
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The file name box changed (typed, or set by the program): the checksum and
// new revision rows are cleared, and Download is enabled when the box names
// a file and a drive was accepted (or the scan has not run yet).
void FileNameChanged(HWND window);

// The status line once a drive is chosen and the file name box names the
// image: nothing is left to select.
inline constexpr const char* kTextReadyToDownload = "Ready: press Download to flash the drive";
// A drive that was not ready yet, and a choice of drive closed without OK:
// the scan may be run again (OfferRescan).
inline constexpr const char* kTextNotReadyRetry = "The drive is not ready yet: press Retry";
inline constexpr const char* kTextNoneChosenRetry = "No drive chosen: press Retry to choose";

// After a scan that chose no drive but may choose one when asked again (a
// drive not ready yet, the choice closed), the Download button becomes
// "&Retry" and scans again when clicked; it is Download again from then on.
void OfferRescan(HWND window);

// Looks for the default image in the current directory. Present (it opens
// for reading and writing): its name goes into the file name box and 1 is
// returned. Absent: a message box says so, the browse button and the file
// name box are enabled, and 0 is returned. The file is never written.
int ProbeDefaultImage(HWND window);

// Dialog procedure of the Release Note dialog (template 105).
INT_PTR CALLBACK ReleaseNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
