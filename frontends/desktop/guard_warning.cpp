#include "frontends/desktop/guard_warning.h"

#include <utility>

#include "aspi/aspi_provider.h"
#include "session/run_record.h"
#include "text/version.h"
#include "winui/backend.h"
#include "winui/qt/qt_backend.h"

namespace qtr5 {

GuardWarningShown::GuardWarningShown(QtBackend& backend, std::function<const RunRecord*()> shownRun,
                                     std::function<void(const std::string&)> alsoTell)
    : backend_(backend), shownRun_(std::move(shownRun)), alsoTell_(std::move(alsoTell)) {
  observer_ = backend_.AddWaitObserver([this] { TellOnce(); });
}

GuardWarningShown::~GuardWarningShown() {
  backend_.RemoveWaitObserver(observer_);
}

void GuardWarningShown::TellOnce() {
  const RunRecord* run = shownRun_();
  if (told_ || run == nullptr || !run->driveChosen) return;
  told_ = true;
  const AspiProvider* provider = InstalledAspiProvider();
  if (provider == nullptr) return;
  const std::string limits = provider->GuardLimits(run->chosenAdapter, run->chosenTarget);
  if (limits.empty()) return;
  if (alsoTell_) alsoTell_("Warning: " + limits);
  backend_.ShowMessageBox(ActiveDialog(), limits, kProgramTitle, MB_OK | MB_ICONWARNING);
}

}  // namespace qtr5
