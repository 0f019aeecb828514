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
#include <string>
#include <vector>

#include "discovery/scan_record.h"
#include "image/firmware_image.h"
#include "session/run_record.h"
#include "session/session_request.h"
#include "winui/winapi.h"

class DownloadApp;
class SessionQuestions;
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

  // Whoever follows what the main window shows (a terminal's transcript,
  // the Windows program's echo): told by the application as it shows it.
  std::vector<WindowWatcher*> watchers;

  // Called by AppMain once start-up has finished (g_app is set) and before
  // the message loop starts. May be null.
  void (*afterStartUp)(DownloadApp& app) = nullptr;

  // A run nobody works at the window (--yes): the window shows the session,
  // which takes every step in order (FlashSession::RunAll) with these
  // questions once the window is shown, and the window closes at the end.
  // Null: a person works the window, whose start-up scans and whose
  // Download command downloads.
  SessionQuestions* runAllWith = nullptr;
  // Where the session's notices go instead of a message box (a run nobody
  // works at the window opens no box nobody would answer). Empty: a box.
  std::function<void(const std::string& caption, const std::string& text)> tellNotice;
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
