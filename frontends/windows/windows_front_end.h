// The Windows program's front end for RunProgram: its own lines go to
// standard output, diagnostics to standard error (see console_output.h).
//
// Without --yes the user drives the window: the idle handler is not used,
// and a question (RunProgram asks few) is asked in a message box.
//
// With --yes the program runs by itself: the idle handler runs from a timer
// whenever the main window waits for its user (no modal dialog open), and
// when it has nothing more to do the main window is closed. No question is
// asked; every message box is answered with its default button. What the
// window shows (status line, report values, progress steps, message boxes)
// is echoed as the console program prints it: on standard output, or on
// standard error when --json keeps standard output for the run's summary.
//
// A program started from the desktop has no standard error. Its diagnostics
// are then kept and shown in the window: the boxes that explain a failure
// add those nobody has seen yet, and what is left when the run failed is
// shown once in one box at the end (never under --yes). Lines that repeat
// what a box said are left out.
#pragma once

#include <mutex>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "frontends/dialog/desktop_front_end.h"
#include "program/options.h"
#include "program/program_front_end.h"

class WindowsFrontEnd : public DesktopFrontEnd {
 public:
  // `showCommand`: how the main window is first shown (WinMain's nCmdShow).
  // `errorOutput`: whether standard error leads somewhere (a console, a
  // file, a pipe).
  explicit WindowsFrontEnd(const ProgramOptions& options, int showCommand = 1 /* SW_SHOWNORMAL */,
                           bool errorOutput = true);
  ~WindowsFrontEnd() override;
  WindowsFrontEnd(const WindowsFrontEnd&) = delete;
  WindowsFrontEnd& operator=(const WindowsFrontEnd&) = delete;

  void PrintLine(std::string_view line) override;
  void PrintError(std::string_view line) override;
  void PrintErrorShownInWindow(std::string_view line) override;
  std::string TakeUnseenNotes() override;
  DiagnosticSink TransportSink() override;
  // After the run that ended with `status`: the diagnostics nobody has seen,
  // in one box, unless the run succeeded or its user chose not to download.
  void ShowUnseenNotes(int status);
  int ShowCommand() const override { return showCommand_; }
  void TellNotice(const std::string& caption, const std::string& text) override;
  // What the window shows: its report laid out for it (report_layout.h),
  // and with --yes echoed as the console prints it.
  WindowWatcher* Watcher() override;
  std::function<void()> WaitPump() override;
  std::FILE* Output() override;
  std::FILE* ErrorOutput() override;

 private:
  // Keeps `line` for the window (from any thread: the transport's).
  void Keep(std::string_view line);

  int showCommand_;
  bool errorOutput_;
  std::mutex notesMutex_;
  std::string unseenNotes_;
};
