// What RunProgram needs of the front end that runs it (a terminal, a
// desktop window): where its lines and diagnostics go, how it asks a
// question, and how it runs the flow.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "aspi/diagnostic_sink.h"
#include "program/exit_status.h"
#include "program/options.h"
#include "program/program.h"

class RunProvider;

class ProgramFrontEnd {
 public:
  virtual ~ProgramFrontEnd() = default;
  // The program's own lines for the user (lists, explanations, results).
  virtual void PrintLine(std::string_view line) = 0;
  // The name the program's own lines on standard error start with (those a
  // signal makes the program write too).
  virtual const char* ProgramName() const { return kCommandName; }
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
  // Whether the run takes every step by itself, as a dry run must: a
  // terminal always; a window only with --yes (worked by a person, it opens
  // the tray at start).
  virtual bool TakesEveryStepItself() const { return true; }
  // Runs the flow for the options (no --check, no --list): the terminal's
  // session, or the described application in a window. Returns the outcome.
  virtual Outcome RunFlow(const ProgramOptions& options, const RunProvider& transport) = 0;
  // Asks for the image file to flash when none is named (a terminal's
  // prompt); nothing when no question may be asked or none was named.
  virtual std::optional<std::string> AskForImageFile() { return std::nullopt; }
  // How the front end answers its windows while the run waits for the
  // drive (a held command, the progress display, the settle delays); empty
  // when it has none to answer.
  virtual std::function<void()> WaitPump() { return {}; }
  // Where the transports tell what goes wrong during the run (a lost
  // device, a timeout, a replay that left its recording): standard error,
  // unless the front end shows those lines elsewhere too.
  virtual DiagnosticSink TransportSink() { return StandardErrorSink(); }
  // Streams for the image check, which prints on its own.
  virtual std::FILE* Output() = 0;
  virtual std::FILE* ErrorOutput() = 0;
};
