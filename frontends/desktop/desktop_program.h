// The desktop program: qtr5-download-gui's run, with the program logic shared
// by every executable (options, transport, automation) and the Qt window.
#pragma once

#include "program/options.h"
#include "winui/qt/qt_accessibility.h"
#include "winui/qt/qt_pictures.h"

namespace qtr5 {

class QtBackend;

// The program's pictures (state pictures, browse button, window icon) for
// the Qt window, by their resource identifiers.
PictureTable ProgramPictures();
// The accessible names and descriptions of the program's controls.
ControlTexts ProgramControlTexts();

struct DesktopSettings {
  // The program's diagnostics, and what the drive transports tell during the
  // run (why a drive cannot be used), also come up in message boxes
  // (the transports' the next time the window waits for its user): for a
  // program started from the desktop, whose standard error nobody reads.
  bool messagesInBoxes = false;
};

// While one lives, a request to close the main window that the program
// refuses (it works with the drive) is answered with `backend`'s note
// (BusyCloseText()), withdrawn when that work has ended.
class BusyCloseNoteShown {
 public:
  explicit BusyCloseNoteShown(QtBackend& backend);
  ~BusyCloseNoteShown();
  BusyCloseNoteShown(const BusyCloseNoteShown&) = delete;
  BusyCloseNoteShown& operator=(const BusyCloseNoteShown&) = delete;
};

// Parses qtr5-download-gui's arguments: the options of every program, or a
// file alone (a file manager's "Open with"), which is taken as --image FILE.
// Its help ends with the rule of the window's exit status.
ParseResult ParseDesktopArguments(int argc, const char* const* argv);

// Runs the program with parsed options and returns the exit status: the
// status of the run's outcome, as qtr5-download gives it, also when a person
// closes the window (0 after a download done, 3 without a drive, 6 when
// closed before a download, 8 when a signal ended the run). `backend` is installed and a
// QApplication exists; it may be null for --check and --list, which need no
// window.
int RunDesktopProgram(const ProgramOptions& options, QtBackend* backend,
                      const DesktopSettings& settings);

}  // namespace qtr5
