// The transcript of a main window: what it shows as it changes, as the lines
// a terminal prints. The console backend and the Windows program's automation
// hooks both print it, so both say it in the same words:
//   - each new status line text,
//   - each new report value as "Label:" padded so that the values of all
//     rows line up, then the value,
//   - each 10% step of the progress bar as "Progress: N%",
//   - each message box as "Caption: Text".
// Lines are returned as they are; the caller makes them printable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qtr5 {

class Transcript {
 public:
  // A new main window: whatever it shows next is new.
  void Reset();

  // The status line now shows `text`: its line, or nothing when the text is
  // the one shown before or empty.
  std::optional<std::string> StatusLine(std::string_view text);

  // Report row `row` (of the rows labelled `labels`) now has `value`: its
  // line, or nothing when the value is the one shown before or empty.
  std::optional<std::string> ReportLine(const std::vector<std::string>& labels, std::size_t row,
                                        std::string_view value);

  // The progress bar is at `percent`: "Progress: N%" when a new 10% step is
  // reached; a step below the last one starts a new run of the display.
  std::optional<std::string> ProgressLine(int percent);

 private:
  std::string lastStatus_;
  std::vector<std::string> shownRows_;  // value last shown for each report row
  int lastStep_ = -1;                   // last 10% step shown
};

// The percent a progress bar with range [low, high] shows at `position`,
// from 0 to 100 (0 for an empty range).
int ProgressPercent(long long low, long long high, long long position);

// A one-line bar for a terminal: "[###   ]  42%", `width` characters inside
// the brackets.
std::string ProgressBar(int percent, int width);

// A message box as one line.
std::string MessageBoxLine(std::string_view caption, std::string_view text);

}  // namespace qtr5
