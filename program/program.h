// RunProgram: what every qtr5-download executable does with its options. It
// chooses the transport (the real one, an emulated bus, a recorded session,
// optionally recorded), runs the check, the list or the application, drives
// the application as the options ask (which drive, which image, download
// without asking), and turns what happened into the exit status.
//
// The front end (terminal, desktop) supplies the few things that differ
// between them through ProgramFrontEnd; the window backend is installed by
// the front end before RunProgram is called.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "aspi/diagnostic_sink.h"
#include "program/exit_status.h"
#include "program/options.h"

class ProgramFrontEnd {
 public:
  virtual ~ProgramFrontEnd() = default;
  // The program's own lines for the user (lists, explanations, results).
  virtual void PrintLine(std::string_view line) = 0;
  // Diagnostics: why something could not be done (standard error on a terminal).
  virtual void PrintError(std::string_view line) = 0;
  // A diagnostic the window has already shown its user in a box of its own
  // (why "NG!", why "Fail to Find Device"): told like PrintError, unless the
  // front end shows diagnostics in boxes too, which then keeps it to
  // standard error.
  virtual void PrintErrorShownInWindow(std::string_view line) { PrintError(line); }
  // Asks a yes-or-no question; nothing when no question may be asked here
  // (standard input is not a terminal) or no answer came.
  virtual std::optional<std::string> Ask(std::string_view question) = 0;
  // True when questions may be asked at all.
  virtual bool CanAsk() const = 0;
  // True when a person works the window (a desktop program run without
  // --yes): the Select Device dialog may then be shown, and the program
  // does nothing by itself (no idle handler is set).
  virtual bool UserWorksTheWindow() const { return false; }
  // Makes `handler` run whenever the application waits for its user: it
  // posts the next action and returns true, or returns false when it has
  // nothing more to do (the front end then closes the window).
  virtual void SetIdleHandler(std::function<bool()> handler) = 0;
  // Called once the options and the transport are good, just before the
  // main window is made.
  virtual void BeforeMainWindow() {}
  // How the main window is first shown (a ShowWindow command): what the
  // program was started with, e.g. minimised from a shortcut.
  virtual int ShowCommand() const;
  // Where the transports tell what goes wrong during the run (a lost
  // device, a timeout, a replay that left its recording): standard error,
  // unless the front end shows those lines elsewhere too.
  virtual DiagnosticSink TransportSink() { return StandardErrorSink(); }
  // The diagnostics kept because nobody has seen them yet (standard error
  // leads nowhere), one per line, now counted as seen; empty when none.
  virtual std::string TakeUnseenNotes() { return {}; }
  // Streams for the image check, which prints on its own.
  virtual std::FILE* Output() = 0;
  virtual std::FILE* ErrorOutput() = 0;
};

// For the programs that print on standard streams: shows the help or version
// text on standard output, or the usage error on standard error, and returns
// the exit status; nothing when the options ask for a run.
// With --json (parsed.options.json), a usage error is printed on standard
// output as the run's summary too (outcome "usage-error", the message as
// "error").
std::optional<int> FinishUnlessRun(const ParseResult& parsed);

// The --json summary of a usage error found while parsing (parsed.text).
std::string UsageErrorJson(const ParseResult& parsed);

// Runs the program with parsed options; returns the exit status.
int RunProgram(const ProgramOptions& options, ProgramFrontEnd& frontEnd);

// The exit status of a desktop program (a window its user closes) after
// RunProgram returned `status`: 0 once the window is closed, whatever the
// download did, unless the program could not start (usage error, internal
// failure), --yes made it run by itself, or it showed no window (--check,
// --list): then `status` stands.
int DesktopExitStatus(const ProgramOptions& options, int status);

// For tests only: QTR5_TIME_SCALE=N (1 to 1000) makes every timed wait of the
// program and of the emulated drives N times shorter. It is honoured only
// with --emulate or --replay, never with a real drive.
inline constexpr const char* kTimeScaleVariable = "QTR5_TIME_SCALE";
