// The program's front end on a terminal or in a script: the console backend
// renders the window; the program's own lines go to standard output, its
// diagnostics to standard error, and questions are asked only when standard
// input is a terminal.
#pragma once

#include "frontends/console/console_backend.h"
#include "program/program_front_end.h"

// The program's windows as the console backend renders them: the main
// window's status line, report and progress bar, and the Select Device dialog.
qtr5::ConsoleWindowIds ProgramConsoleIds();

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

 private:
  qtr5::ConsoleBackend& backend_;
  bool inputIsTerminal_;
};
