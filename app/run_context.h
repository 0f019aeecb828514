// One run of the application as a value: what the front end asks of it
// (RunRequest), what it did and showed (RunRecord) and what its sweep saw
// (ScanRecord). AppMain receives the run and the application passes it on,
// so that a command line can choose the drive and the image up front,
// forbid questions, and end with the outcome the run decided. The desktop
// programs leave the request at its defaults, which give the plain
// interactive behaviour.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/scan_record.h"
#include "image/firmware_image.h"
#include "session/run_record.h"
#include "session/session_request.h"
#include "winui/winapi.h"

class DownloadApp;
class WindowWatcher;

struct RunRequest : SessionRequest {
  // Image file put into the file name box at start instead of the default
  // image, which is then not looked for (nor reported missing); the browse
  // button and the box stay disabled as with a present default image, until
  // a failed download enables browsing. Empty: none (the default is probed).
  std::string initialImage;

  // After a download that ended in "NG!", show why in a message box
  // (RunRecord::failureReason and what to do next). Off by default: a
  // terminal prints the reason itself; a desktop window worked by a person
  // turns it on, since it has no other place for it.
  bool explainFailures = false;
  // For those boxes: what the transport knows of why no drive was found
  // (that administrator rights are needed), said first; and the diagnostics
  // nobody has seen yet (a program whose standard error leads nowhere keeps
  // them), said last and then counted as seen. Each may be null or empty.
  std::function<std::string()> noDriveCause;
  std::function<std::string()> takeUnseenNotes;

  // Called once a drive is chosen, before anything but the scan's INQUIRY
  // reaches it (its tray is opened next): returns the status text of a run
  // that cannot download (no image, a damaged or unexpected image, no
  // download allowed), which then ends with the tray closed and nothing
  // sent; an empty text lets the run go on. Empty: nothing is checked.
  std::function<std::string()> refusalBeforeTray;

  // Whoever follows what the main window shows (a terminal's transcript,
  // the Windows program's echo): told by the application as it shows it.
  std::vector<WindowWatcher*> watchers;

  // Called by AppMain once start-up has finished (g_app is set) and before
  // the message loop starts; e.g. to post the Download command. May be null.
  void (*afterStartUp)(DownloadApp& app) = nullptr;
};

struct RunContext {
  RunRequest request;
  RunRecord record;
  ScanRecord scan;  // every address the start-up sweep asked
};

// Puts the per-run globals of the application (the device table count, the
// busy-picture counter and the download-done flag) back as at program
// start; AppMain does so before each run.
void ResetApplicationState();

// The diagnostics nobody has seen yet (takeUnseenNotes), as the end of a
// box's text: a blank line and a heading before them; empty when none.
std::string UnseenNotesForBox(const RunRequest& request);

// Records that the main window now shows `text` in `slot` (a report row or a
// control, as DownloadApp::ShowText takes it); nothing once it has gone.
void RecordShownText(RunRecord& record, int slot, const char* text);
