// The terminal: what the run shows, printed on its output stream (see
// text/transcript.h), each on its own line:
//   - every notice, as "Caption: Text",
//   - every new text of the status line, every report row whose value
//     changes, as "Key: Value" with the keys padded so that the values line
//     up;
// and the progress bar: on a terminal a one-line bar, redrawn with a
// carriage return only when what it shows changes and ended with a newline
// before the next line is printed; otherwise a plain line at each 10% step.
// Every text is printed with control characters made harmless (drive
// strings come from the device). Questions are asked only when the input is
// a terminal, where the person is (never into captured output).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/transcript.h"

namespace qtr5 {

struct ConsoleOptions {
  std::ostream* out = nullptr;  // where everything is printed (required)
  std::istream* in = nullptr;   // where answers are read; null: nothing is ever read
  // Where questions (and the choices they offer) are shown: the person at the
  // terminal, never the captured output. Null: the output stream.
  std::ostream* prompts = nullptr;
  bool outputIsTerminal = false;  // progress bar with carriage returns, else plain lines
  bool inputIsTerminal = false;   // questions may be asked
  int barWidth = 40;              // characters between the brackets of the progress bar
  // Width of the terminal in characters; 0 when unknown. A bar line that is
  // wider wraps, and every redraw then starts a new line: the bar is made
  // narrower to fit, or shown as plain lines when even a short one cannot.
  int terminalColumns = 0;
};

// std::cout and std::cin (questions on std::cerr), with the terminal flags taken from isatty() of
// standard output and standard input, and the width of that terminal.
ConsoleOptions StandardConsoleOptions();

class Terminal {
 public:
  explicit Terminal(ConsoleOptions options);
  ~Terminal();  // ends an unfinished progress line
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Prints `line` on its own line (ending an unfinished progress line first),
  // made printable. For the program's own output between the terminal's lines.
  void PrintLine(std::string_view line);

  // Asks `prompt` and reads one line when the input is a terminal; nothing
  // (and nothing is read) otherwise, or at end of input.
  std::optional<std::string> AskLine(std::string_view prompt);

  // Ends an unfinished progress line with a newline.
  void FinishProgressLine();

  // What the run shows: the status line's new text; report row `row` (of
  // the rows labelled `labels`) and its new value; the progress bar's
  // percent; a notice. Each is printed when it is new.
  void ShowStatus(std::string_view text);
  void ShowReportRow(const std::vector<std::string>& labels, std::size_t row,
                     std::string_view value);
  void ShowProgress(int percent);
  void ShowNotice(std::string_view caption, std::string_view text);

  // Asks for the name of an existing file of `what` (e.g. "Firmware file
  // (*.HEX)") no longer than `maxLength`; nothing at an empty answer, at the
  // end of input, or when the input is not a terminal.
  std::optional<std::string> AskForFile(std::string_view what, std::size_t maxLength);

 private:
  void Emit(std::string_view text);
  std::ostream* PromptStream() const;
  void PromptLine(std::string_view text);

  ConsoleOptions options_;
  bool progressLineOpen_ = false;  // a bar was drawn and not yet ended by a newline
  std::string lastBar_;            // what the bar shows now
  Transcript transcript_;          // status, report and progress lines
};

}  // namespace qtr5
