// The console backend: the program on a terminal or in a script. It prints,
// each on its own line of the output stream (see text/transcript.h):
//   - every message box, as "Caption: Text" (answered at once, never waited on),
//   - what the program tells it the main window shows: every new text of the
//     status line, every report row whose value changes, as "Key: Value" with
//     the keys padded so that the values line up;
// and shows the progress bar the program tells it of: on a terminal a one-line bar,
// redrawn with a carriage return only when what it shows changes and ended
// with a newline before the next line is printed; otherwise a plain line at
// each 10% step. Every text is printed with control characters made harmless
// (drive strings come from the device).
//
// Questions are asked only when the input is a terminal: the open-file dialog
// asks for a path; the device choice dialog becomes a numbered
// choice. Without a terminal the open-file dialog is cancelled and the Select
// Device dialog is confirmed with nothing selected, without reading anything.
//
// When the message queue is empty the idle handler runs: it posts the next
// action of the program's user (for example the Download click) and returns
// true, or returns false when it has nothing more to do. Then the console
// closes the active dialog (as its close box would), so the program never
// waits forever.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/transcript.h"
#include "winui/backend.h"

namespace qtr5 {

// Which of the program's dialogs the console answers, by the ids the program
// gives them. An id left at 0 matches nothing.
struct ConsoleWindowIds {
  int mainDialog = 0;     // the main window: a new one starts a new transcript
  int deviceDialog = 0;   // the dialog that chooses among several drives,
  int deviceList = 0;     // its list of drives (first cell: the drive),
  int deviceConfirm = 0;  // and the button that confirms the choice
};

struct ConsoleOptions {
  ConsoleWindowIds ids;         // what to render (given by the program)
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

class ConsoleBackend : public Backend {
 public:
  explicit ConsoleBackend(ConsoleOptions options);
  ~ConsoleBackend() override;  // ends an unfinished progress line

  // The program's idle handler (see above). Replaces the previous one.
  void SetIdleHandler(std::function<bool()> handler);

  // Prints `line` on its own line (ending an unfinished progress line first),
  // made printable. For the program's own output between the backend's lines.
  void PrintLine(std::string_view line);

  // Asks `prompt` and reads one line when the input is a terminal; nothing
  // (and nothing is read) otherwise, or at end of input.
  std::optional<std::string> AskLine(std::string_view prompt);

  // Ends an unfinished progress line with a newline.
  void FinishProgressLine();

  // What the main window shows, as the program tells it: the status line's
  // new text; report row `row` (of the rows labelled `labels`) and its new
  // value; the progress bar's percent. Each is printed when it is new.
  void ShowStatus(std::string_view text);
  void ShowReportRow(const std::vector<std::string>& labels, std::size_t row,
                     std::string_view value);
  void ShowProgress(int percent);

  // True once the console closed a dialog because the idle handler had
  // nothing more to do (the program did not end by itself).
  bool ClosedForLackOfInput() const { return closedForLackOfInput_; }

  // ---- Backend ----
  void WindowCreated(HWND dialog) override;
  void WindowDestroyed(HWND window) override;
  void WindowChanged(HWND window, WindowChange change) override;
  void ModalLoopStarted(HWND dialog) override;
  bool WaitForInput() override;
  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override;
  std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request) override;

 private:
  void AnswerSelectDevice(HWND dialog);
  void Emit(std::string_view text);
  std::ostream* PromptStream() const;
  void PromptLine(std::string_view text);

  ConsoleOptions options_;
  std::function<bool()> idle_;
  bool progressLineOpen_ = false;  // a bar was drawn and not yet ended by a newline
  std::string lastBar_;            // what the bar shows now
  Transcript transcript_;          // status, report and progress lines
  std::map<HWND, int> closesOf_;   // dialogs closed for lack of input
  bool closedForLackOfInput_ = false;
};

}  // namespace qtr5
