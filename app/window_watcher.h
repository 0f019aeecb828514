// Who follows what the main window shows (a terminal's transcript, the
// Windows program's echo of --yes), told by the application from the one
// place that shows it (DownloadApp::ShowText and SetProgress), in the
// window's own terms rather than as window messages to match.
#pragma once

#include <string_view>

#include "session/session_observer.h"

class WindowWatcher {
 public:
  virtual ~WindowWatcher() = default;
  // A new main window: whatever it shows from now on is new.
  virtual void MainWindowMade() {}
  // The status line now shows `text`.
  virtual void StatusShown(std::string_view text) = 0;
  // Report row `row` (labelled ReportLabels()[row]) now shows `value`.
  virtual void ReportRowShown(int row, std::string_view value) = 0;
  // The progress bar now stands at `percent` (0 to 100).
  virtual void ProgressShown(int percent) = 0;
};
