// What every desktop front end (the Qt window, the Windows program) means by
// who drives the window, said once: a person, unless --yes makes the program
// run by itself. A person gets the Select Device dialog among several drives
// and the boxes that say why a download failed or why no drive was found;
// with --yes the window shows the session taking every step with the run's
// questions, and closes at the end. The run is the described application's,
// shown in its main window (dialog_run.cpp).
#pragma once

#include <string>

#include "program/options.h"
#include "program/program_front_end.h"

class WindowWatcher;
struct RunRecord;

class DesktopFrontEnd : public ProgramFrontEnd {
 public:
  explicit DesktopFrontEnd(const ProgramOptions& options) : automated_(options.yes) {}

  // Runs the described application for the options.
  Outcome RunFlow(const ProgramOptions& options, const RunProvider& transport) final;
  // A window asks in its own dialogs, never on standard input.
  std::optional<std::string> Ask(std::string_view /*question*/) final { return std::nullopt; }
  bool CanAsk() const final { return false; }

  // True when a person works the window (not --yes): the Select Device
  // dialog may then be shown, and the program does nothing by itself.
  bool UserWorksTheWindow() const { return !automated_; }
  bool TakesEveryStepItself() const final { return automated_; }
  // A notice of a run nobody works at the window (--yes): told, not put in
  // a box nobody would answer.
  virtual void TellNotice(const std::string& caption, const std::string& text) = 0;
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

 private:
  bool automated_;
};
