// What RunProgram needs of the front end that runs it (a terminal, a
// desktop window): where its lines and diagnostics go, how it asks a
// question, how the main window is shown and who works it.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "aspi/diagnostic_sink.h"

class WindowWatcher;
struct RunRecord;

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
  // main window of `run` is made; the record says, for one, when the window
  // has gone. It stays valid until AfterMainWindow.
  virtual void BeforeMainWindow(const RunRecord& /*run*/) {}
  // Called once the application has ended (its window is gone), with what
  // the run did.
  virtual void AfterMainWindow(const RunRecord& /*run*/) {}
  // How the front end answers its windows while the run waits for the
  // drive (a held command, the progress display, the settle delays); empty
  // when it has none to answer.
  virtual std::function<void()> WaitPump() { return {}; }
  // Who prints what the main window shows as it changes (a terminal's
  // transcript); null when the window shows itself.
  virtual WindowWatcher* Watcher() { return nullptr; }
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
