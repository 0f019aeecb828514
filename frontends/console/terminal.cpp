// The terminal: what the run shows, as lines, a progress bar and prompts.
#include "frontends/console/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "text/printable.h"

namespace qtr5 {
namespace {

// Characters of a bar line besides the bar itself: "[", "] ", "100%", and one
// column left free so that the cursor never reaches the terminal's last one.
constexpr int kBarLineExtra = 8;

}  // namespace

ConsoleOptions StandardConsoleOptions() {
  ConsoleOptions options;
  options.out = &std::cout;
  options.in = &std::cin;
  options.prompts = &std::cerr;
  options.outputIsTerminal = isatty(STDOUT_FILENO) == 1;
  options.inputIsTerminal = isatty(STDIN_FILENO) == 1;
  winsize size{};
  if (options.outputIsTerminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
    options.terminalColumns = size.ws_col;
  }
  return options;
}

Terminal::Terminal(ConsoleOptions options) : options_(options) {
  if (options_.barWidth < 1) options_.barWidth = 1;
  if (options_.outputIsTerminal && options_.terminalColumns > 0) {
    const int room = options_.terminalColumns - kBarLineExtra;
    if (room < 1) {
      options_.outputIsTerminal = false;  // too narrow for any bar: plain lines
    } else {
      options_.barWidth = std::min(options_.barWidth, room);
    }
  }
}

Terminal::~Terminal() {
  FinishProgressLine();
}

void Terminal::FinishProgressLine() {
  if (progressLineOpen_ && options_.out) {
    *options_.out << '\n';
    options_.out->flush();
  }
  progressLineOpen_ = false;
  lastBar_.clear();
}

void Terminal::Emit(std::string_view text) {
  FinishProgressLine();
  if (options_.out == nullptr) return;
  // In one piece: a signal's line written meanwhile never lands inside it.
  *options_.out << PrintableText(text) + '\n';
  options_.out->flush();
}

void Terminal::PrintLine(std::string_view line) {
  Emit(line);
}

std::ostream* Terminal::PromptStream() const {
  return options_.prompts != nullptr ? options_.prompts : options_.out;
}

// A line of a question (the choices it offers, why an answer was not
// taken): shown where the question is, made printable.
void Terminal::PromptLine(std::string_view text) {
  FinishProgressLine();
  if (options_.out) options_.out->flush();
  if (std::ostream* prompts = PromptStream()) {
    *prompts << PrintableText(text) << '\n';
    prompts->flush();
  }
}

std::optional<std::string> Terminal::AskLine(std::string_view prompt) {
  if (!options_.inputIsTerminal || options_.in == nullptr) return std::nullopt;
  FinishProgressLine();
  if (options_.out) options_.out->flush();
  if (std::ostream* prompts = PromptStream()) {
    *prompts << prompt;
    prompts->flush();
  }
  std::string line;
  if (!std::getline(*options_.in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void Terminal::ShowStatus(std::string_view text) {
  if (std::optional<std::string> line = transcript_.StatusLine(text)) Emit(*line);
}

void Terminal::ShowReportRow(const std::vector<std::string>& labels, std::size_t row,
                             std::string_view value) {
  if (std::optional<std::string> line = transcript_.ReportLine(labels, row, value)) Emit(*line);
}

void Terminal::ShowProgress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (options_.out == nullptr) return;
  if (options_.outputIsTerminal) {
    std::string bar = ProgressBar(percent, options_.barWidth);
    if (progressLineOpen_ && bar == lastBar_) return;  // nothing new to show
    *options_.out << '\r' << bar;
    options_.out->flush();
    lastBar_ = bar;
    progressLineOpen_ = true;
    return;
  }
  if (std::optional<std::string> line = transcript_.ProgressLine(percent)) Emit(*line);
}

void Terminal::ShowNotice(std::string_view caption, std::string_view text) {
  Emit(MessageBoxLine(caption, text));
}

std::optional<std::string> Terminal::AskForFile(std::string_view what, std::size_t maxLength) {
  for (;;) {
    std::optional<std::string> path =
        AskLine("Open " + std::string(what) + " (empty line to cancel): ");
    if (!path || path->empty()) return std::nullopt;
    std::error_code error;
    if (!std::filesystem::is_regular_file(*path, error)) {
      PromptLine("File not found: " + *path);
      continue;
    }
    if (path->size() > maxLength) {
      PromptLine("The path is too long.");
      continue;
    }
    return path;
  }
}

}  // namespace qtr5
