// What every desktop front end (the Qt window, the Windows program) means by
// who drives the window, said once: a person, unless --yes makes the program
// run by itself. A person gets the Select Device dialog among several drives
// and the boxes that say why a download failed or why no drive was found;
// the automation's idle handler is used only with --yes. The run is the
// described application's, shown in its main window (dialog_run.cpp).
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "program/options.h"
#include "program/program_front_end.h"

class WindowWatcher;
struct RunRecord;

class DesktopFrontEnd : public ProgramFrontEnd {
 public:
  explicit DesktopFrontEnd(const ProgramOptions& options) : automated_(options.yes) {}

  // Runs the described application for the options.
  Outcome RunFlow(const ProgramOptions& options, const RunProvider& transport) final;

  // True when a person works the window (not --yes): the Select Device
  // dialog may then be shown, and the program does nothing by itself.
  bool UserWorksTheWindow() const { return !automated_; }
  // Makes `handler` run whenever the application waits for its user, with
  // --yes: it posts the next action and returns true, or returns false when
  // it has nothing more to do (the front end then closes the window).
  void SetIdleHandler(std::function<bool()> handler) {
    RunWhenIdle(automated_ ? std::move(handler) : std::function<bool()>{});
  }
  // Called once the options and the transport are good, just before the
  // main window of `run` is made; the record says, for one, when the window
  // has gone. It stays valid until AfterMainWindow.
  virtual void BeforeMainWindow(const RunRecord& /*run*/) {}
  // Called once the application has ended (its window is gone), with what
  // the run did.
  virtual void AfterMainWindow(const RunRecord& /*run*/) {}
  // Who follows what the main window shows as it changes (the Windows
  // program's echo of --yes); null when the window shows itself.
  virtual WindowWatcher* Watcher() { return nullptr; }
  // How the main window is first shown (a ShowWindow command): what the
  // program was started with, e.g. minimised from a shortcut.
  virtual int ShowCommand() const;
  // The diagnostics kept because nobody has seen them yet (standard error
  // leads nowhere), one per line, now counted as seen; empty when none.
  virtual std::string TakeUnseenNotes() { return {}; }

 protected:
  bool Automated() const { return automated_; }
  // Runs `handler` whenever the window waits for its user (none: stop).
  virtual void RunWhenIdle(std::function<bool()> handler) = 0;

 private:
  bool automated_;
};
