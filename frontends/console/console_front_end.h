// The program on a terminal or in a script: it drives the flash session
// directly. What the session shows is printed by the terminal (an
// observer); its questions are the run's (--yes, the terminal's [y/N], the
// numbered drive choice, the image prompt). The program's own lines go to
// standard output, its diagnostics to standard error, and questions are
// asked only when standard input is a terminal.
#pragma once

#include "frontends/console/terminal.h"
#include "program/program_front_end.h"
#include "session/session_observer.h"

// What the session shows, printed by the terminal as it comes.
class TerminalObserver : public SessionObserver {
 public:
  explicit TerminalObserver(qtr5::Terminal& terminal) : terminal_(terminal) {}
  void StatusChanged(std::string_view text) override { terminal_.ShowStatus(text); }
  void ReportRowChanged(ReportRow row, std::string_view value) override;
  void ProgressChanged(int percent) override { terminal_.ShowProgress(percent); }
  void BusyTick(bool /*waitFrame*/) override {}  // the progress bar says it
  void WaitingNote(std::string_view text) override { terminal_.ShowStatus(text); }
  // The line said that the drive is waited for; what came before it stands.
  void WaitingEnded(std::string_view /*previous*/) override {}
  void Notice(std::string_view caption, std::string_view text) override {
    terminal_.ShowNotice(caption, text);
  }

 private:
  qtr5::Terminal& terminal_;
};

class ConsoleFrontEnd : public ProgramFrontEnd {
 public:
  ConsoleFrontEnd(qtr5::Terminal& terminal, bool inputIsTerminal);

  void PrintLine(std::string_view line) override;
  void PrintError(std::string_view line) override;
  std::optional<std::string> Ask(std::string_view question) override;
  bool CanAsk() const override { return inputIsTerminal_; }
  Outcome RunFlow(const ProgramOptions& options, const RunProvider& transport) override;
  std::optional<std::string> AskForImageFile() override;
  std::FILE* Output() override;
  std::FILE* ErrorOutput() override;

 private:
  qtr5::Terminal& terminal_;
  bool inputIsTerminal_;
};
