#include "text/transcript.h"

#include <algorithm>

namespace qtr5 {

void Transcript::Reset() {
  lastStatus_.clear();
  shownRows_.clear();
  lastStep_ = -1;
}

std::optional<std::string> Transcript::StatusLine(std::string_view text) {
  if (text == lastStatus_) return std::nullopt;
  lastStatus_ = text;
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

std::optional<std::string> Transcript::ReportLine(const std::vector<std::string>& labels,
                                                  std::size_t row, std::string_view value) {
  if (row >= labels.size()) return std::nullopt;
  if (shownRows_.size() < labels.size()) shownRows_.resize(labels.size());
  if (shownRows_[row] == value) return std::nullopt;
  shownRows_[row] = value;
  if (value.empty()) return std::nullopt;
  std::size_t keyWidth = 0;
  for (const std::string& label : labels) keyWidth = std::max(keyWidth, label.size());
  std::string line = labels[row] + ":";
  line.append(keyWidth + 2 - line.size(), ' ');
  return line.append(value);
}

std::optional<std::string> Transcript::ProgressLine(int percent) {
  const int step = percent / 10;
  if (step < lastStep_) lastStep_ = -1;  // a new run of the display
  if (step <= lastStep_) return std::nullopt;
  lastStep_ = step;
  return "Progress: " + std::to_string(step * 10) + "%";
}

int ProgressPercent(long long low, long long high, long long position) {
  const long long span = high - low;
  const int percent = span <= 0 ? 0 : static_cast<int>((position - low) * 100LL / span);
  return std::clamp(percent, 0, 100);
}

std::string ProgressBar(int percent, int width) {
  const int filled = percent * width / 100;
  return "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] " +
         std::string(percent < 10    ? 2
                     : percent < 100 ? 1
                                     : 0,
                     ' ') +
         std::to_string(percent) + "%";
}

std::string MessageBoxLine(std::string_view caption, std::string_view text) {
  std::string line(caption);
  return line.append(": ").append(text);
}

}  // namespace qtr5
