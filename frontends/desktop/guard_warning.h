// What the transport cannot keep away from the drive while it rewrites its
// firmware (the kernel's media polling without root rights, a block device
// without a node), said in the window before the download: a person at the
// desktop reads no standard error.
#pragma once

#include <functional>
#include <string>

struct RunRecord;

namespace qtr5 {

class QtBackend;

// While one lives, the first time the window waits for its user with a
// drive chosen, the installed transport's limits for that drive come up in
// a warning box over the window, and are passed to `alsoTell` ("Warning:
// ...", for standard error). `shownRun` gives the run whose main window is
// up (null when none).
class GuardWarningShown {
 public:
  GuardWarningShown(QtBackend& backend, std::function<const RunRecord*()> shownRun,
                    std::function<void(const std::string&)> alsoTell);
  ~GuardWarningShown();
  GuardWarningShown(const GuardWarningShown&) = delete;
  GuardWarningShown& operator=(const GuardWarningShown&) = delete;

 private:
  void TellOnce();

  QtBackend& backend_;
  std::function<const RunRecord*()> shownRun_;
  std::function<void(const std::string&)> alsoTell_;
  int observer_ = 0;
  bool told_ = false;
};

}  // namespace qtr5
