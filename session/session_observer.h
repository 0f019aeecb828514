// What a flash session tells its front end as it goes, in the system's own
// words: a front end shows or prints these texts as they come and never
// rewords them. The session has no window: the described dialog turns these
// events into its controls, pictures and boxes; the terminal prints them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The rows of the report, in the order the main window lists them.
enum class ReportRow : int {
  kDevice = 0,      // "Adapter : Target ID": the chosen drive's address
  kChecksum = 1,    // "Check Sum"
  kModel = 2,       // "Model Name"
  kRevision = 3,    // "Current F/W Version"
  kNewVersion = 4,  // "New F/W Version"
};
inline constexpr int kReportRowCount = 5;

// The labels of the report rows, in row order ("Adapter : Target ID",
// "Check Sum", "Model Name", "Current F/W Version", "New F/W Version").
const std::vector<std::string>& ReportLabels();

class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  // The status line's new text.
  virtual void StatusChanged(std::string_view text) = 0;
  // A report row's new value ("" clears it).
  virtual void ReportRowChanged(ReportRow row, std::string_view value) = 0;
  // The download's progress, 0 to 99, while the drive reprograms itself.
  virtual void ProgressChanged(int percent) = 0;
  // The picture that alternates while the drive reprograms itself: its next
  // frame ("Wait !" when `waitFrame`, the logo otherwise).
  virtual void BusyTick(bool waitFrame) = 0;
  // The drive holds a command of the reprogramming window: `text` says that
  // it is waited for, until WaitingEnded (the status line shows it, then
  // what it showed before: `previous`).
  virtual void WaitingNote(std::string_view text) = 0;
  virtual void WaitingEnded(std::string_view previous) = 0;
  // A notice for the user to read and acknowledge: the reboot after a
  // success, the missing default image.
  virtual void Notice(std::string_view caption, std::string_view text) = 0;
};
