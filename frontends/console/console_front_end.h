// The program's front end on a terminal or in a script: the console backend
// renders the window; the program's own lines go to standard output, its
// diagnostics to standard error, and questions are asked only when standard
// input is a terminal.
#pragma once

#include "app/window_watcher.h"
#include "frontends/console/console_backend.h"
#include "program/program_front_end.h"

// The program's dialogs as the console backend answers them: the main
// window and the Select Device dialog.
qtr5::ConsoleWindowIds ProgramConsoleIds();

// What the main window shows, printed by the console backend as the
// application tells it.
class ConsoleWatcher : public WindowWatcher {
 public:
  explicit ConsoleWatcher(qtr5::ConsoleBackend& backend) : backend_(backend) {}
  void StatusShown(std::string_view text) override { backend_.ShowStatus(text); }
  void ReportRowShown(int row, std::string_view value) override;
  void ProgressShown(int percent) override { backend_.ShowProgress(percent); }

 private:
  qtr5::ConsoleBackend& backend_;
};

class ConsoleFrontEnd : public ProgramFrontEnd {
 public:
  ConsoleFrontEnd(qtr5::ConsoleBackend& backend, bool inputIsTerminal);

  void PrintLine(std::string_view line) override;
  void PrintError(std::string_view line) override;
  std::optional<std::string> Ask(std::string_view question) override;
  bool CanAsk() const override { return inputIsTerminal_; }
  void SetIdleHandler(std::function<bool()> handler) override;
  std::FILE* Output() override;
  std::FILE* ErrorOutput() override;
  WindowWatcher* Watcher() override { return &watcher_; }

 private:
  qtr5::ConsoleBackend& backend_;
  ConsoleWatcher watcher_{backend_};
  bool inputIsTerminal_;
};
