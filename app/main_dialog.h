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

// How the main window answers a request to close it while the program works
// with the drive (the start-up's scan and tray, the download): it refuses
// (a drive that reprograms itself must be seen through; a scan cut short
// would leave the window gone under it), `refused` says so (kBusyCloseText),
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

// Looks for the default image in the current directory. Present (it opens
// for reading and writing): its name goes into the file name box and 1 is
// returned. Absent: a message box says so, the browse button and the file
// name box are enabled, and 0 is returned. The file is never written.
int ProbeDefaultImage(HWND window);

// Dialog procedure of the Release Note dialog (template 105).
INT_PTR CALLBACK ReleaseNoteProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
