// The console backend: the program's windows as lines on a terminal.
#include "frontends/console/console_backend.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>

#include "text/printable.h"

namespace qtr5 {
namespace {

// How often the console closes the same dialog for lack of input before it
// reports that no input will come.
constexpr int kCloseLimit = 2;

// Characters of a bar line besides the bar itself: "[", "] ", "100%", and one
// column left free so that the cursor never reaches the terminal's last one.
constexpr int kBarLineExtra = 8;

// True when `dialog` was made from the template `id` (0: none).
bool IsDialog(HWND dialog, int id) {
  const DialogTemplate* dialogTemplate = DialogTemplateOf(dialog);
  return id != 0 && dialogTemplate != nullptr && dialogTemplate->id == id;
}

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

ConsoleBackend::ConsoleBackend(ConsoleOptions options) : options_(options) {
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

ConsoleBackend::~ConsoleBackend() {
  FinishProgressLine();
}

void ConsoleBackend::SetIdleHandler(std::function<bool()> handler) {
  idle_ = std::move(handler);
}

void ConsoleBackend::FinishProgressLine() {
  if (progressLineOpen_ && options_.out) {
    *options_.out << '\n';
    options_.out->flush();
  }
  progressLineOpen_ = false;
  lastBar_.clear();
}

void ConsoleBackend::Emit(std::string_view text) {
  FinishProgressLine();
  if (options_.out == nullptr) return;
  // In one piece: a signal's line written meanwhile never lands inside it.
  *options_.out << PrintableText(text) + '\n';
  options_.out->flush();
}

void ConsoleBackend::PrintLine(std::string_view line) {
  Emit(line);
}

std::ostream* ConsoleBackend::PromptStream() const {
  return options_.prompts != nullptr ? options_.prompts : options_.out;
}

// A line of a question (the choices it offers, why an answer was not
// taken): shown where the question is, made printable.
void ConsoleBackend::PromptLine(std::string_view text) {
  FinishProgressLine();
  if (options_.out) options_.out->flush();
  if (std::ostream* prompts = PromptStream()) {
    *prompts << PrintableText(text) << '\n';
    prompts->flush();
  }
}

std::optional<std::string> ConsoleBackend::AskLine(std::string_view prompt) {
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

// ---- what the windows show ----

void ConsoleBackend::WindowCreated(HWND dialog) {
  if (IsDialog(dialog, options_.ids.mainDialog)) transcript_.Reset();
}

void ConsoleBackend::WindowDestroyed(HWND window) {
  if (IsDialog(window, options_.ids.mainDialog)) FinishProgressLine();
}

void ConsoleBackend::WindowChanged(HWND /*window*/, WindowChange /*change*/) {
  // What the main window shows is told by the program (ShowStatus and the
  // others), not read back from its controls.
}

void ConsoleBackend::ShowStatus(std::string_view text) {
  if (std::optional<std::string> line = transcript_.StatusLine(text)) Emit(*line);
}

void ConsoleBackend::ShowReportRow(const std::vector<std::string>& labels, std::size_t row,
                                   std::string_view value) {
  if (std::optional<std::string> line = transcript_.ReportLine(labels, row, value)) Emit(*line);
}

void ConsoleBackend::ShowProgress(int percent) {
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

// ---- questions ----

int ConsoleBackend::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                                   UINT type) {
  (void)owner;
  Emit(MessageBoxLine(caption, text));
  // Answered at once: OK where it is the only button, otherwise the answer
  // that changes nothing.
  switch (type & MB_TYPEMASK) {
    case MB_OK:
      return IDOK;
    case MB_YESNO:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

std::optional<std::string> ConsoleBackend::ShowOpenFileDialog(const OpenFileRequest& request) {
  std::string what = request.filters.empty() ? std::string("file") : request.filters[0].description;
  for (;;) {
    std::optional<std::string> path = AskLine("Open " + what + " (empty line to cancel): ");
    if (!path || path->empty()) return std::nullopt;
    std::error_code error;
    if ((request.flags & OFN_FILEMUSTEXIST) && !std::filesystem::is_regular_file(*path, error)) {
      PromptLine("File not found: " + *path);
      continue;
    }
    if (path->size() > request.maxPathLength) {
      PromptLine("The path is too long.");
      continue;
    }
    return path;
  }
}

void ConsoleBackend::ModalLoopStarted(HWND dialog) {
  if (IsDialog(dialog, options_.ids.deviceDialog)) AnswerSelectDevice(dialog);
}

void ConsoleBackend::AnswerSelectDevice(HWND dialog) {
  HWND list = GetDlgItem(dialog, options_.ids.deviceList);
  if (options_.inputIsTerminal && options_.in != nullptr) {
    std::vector<ListRowInfo> rows = ListRows(list);
    PromptLine("Select Device:");
    for (std::size_t i = 0; i < rows.size(); ++i) {
      std::string line = "  " + std::to_string(i + 1) + ") " + rows[i].cells[0];
      if (rows[i].cells.size() > 1) line += "  " + rows[i].cells[1];
      PromptLine(line);
    }
    while (!rows.empty()) {
      std::optional<std::string> answer =
          AskLine("Device number (1-" + std::to_string(rows.size()) + "): ");
      if (!answer) break;  // end of input: nothing selected
      int number = 0;
      const char* end = answer->data() + answer->size();
      auto [stop, error] = std::from_chars(answer->data(), end, number);
      if (error != std::errc() || stop != end) number = 0;
      if (number >= 1 && number <= static_cast<int>(rows.size())) {
        SelectListRow(list, number - 1);
        break;
      }
      PromptLine("Please enter a number from 1 to " + std::to_string(rows.size()) + ".");
    }
  }
  PostClick(GetDlgItem(dialog, options_.ids.deviceConfirm));
}

// ---- input ----

bool ConsoleBackend::WaitForInput() {
  if (idle_ && idle_()) return true;
  HWND active = ActiveDialog();
  if (active == nullptr) return false;
  int& closes = closesOf_[active];
  if (closes >= kCloseLimit) return false;
  ++closes;
  closedForLackOfInput_ = true;
  return PostClose(active);
}

}  // namespace qtr5
