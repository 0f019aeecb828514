// The described application run for the options: the main window shows
// the session, a person works it (or, with --yes, the session takes every
// step with the run's questions), and what the run did is told once the
// window has gone.
#include <string>

#include "app/entry.h"
#include "app/run_context.h"
#include "app/window_watcher.h"
#include "frontends/dialog/desktop_front_end.h"
#include "program/flow_questions.h"
#include "program/flow_run.h"
#include "program/run_provider.h"
#include "winui/winapi.h"

namespace {

HINSTANCE ProgramInstance() {
#ifdef _WIN32
  return GetModuleHandleA(nullptr);
#else
  return nullptr;
#endif
}

// Why no drive was found when Windows refused the pass-through for want of
// rights: said first in the box that explains it.
constexpr const char* kTextNeedAdministrator =
    "Administrator rights are needed: Windows refused this program access to the CD-ROM "
    "drives. Close the program, then right-click it and choose \"Run as administrator\" (on "
    "Windows XP: log on as an administrator).";

}  // namespace

int DesktopFrontEnd::ShowCommand() const {
  return SW_SHOWNORMAL;
}

Outcome DesktopFrontEnd::RunFlow(const ProgramOptions& options, const RunProvider& transport) {
  RunContext run;
  RunRequest& request = run.request;
  const RunRecord& record = run.record;
  // Several drives: the user chooses in the window; --yes never gets a
  // drive picked for it.
  const bool userWorksTheWindow = !options.yes && UserWorksTheWindow();
  FillSessionRequest(options, *this, !options.yes && (CanAsk() || userWorksTheWindow), request);
  request.explainFailures = userWorksTheWindow;
  if (options.hasImage) request.initialImage = options.imagePath;
  if (WindowWatcher* watcher = Watcher()) request.watchers.push_back(watcher);
  if (userWorksTheWindow) {
    request.noDriveCause = [&transport] {
      return std::string(transport.AccessDenied() ? kTextNeedAdministrator : "");
    };
    request.takeUnseenNotes = [this] { return TakeUnseenNotes(); };
  }
  ProgramQuestions questions(options, *this, request, run.record, run.scan);
  const FlowRun flow(options, *this, transport, run.record, run.scan, questions);
  questions.SetOnProgress([&flow] { flow.Publish(); });
  flow.Publish();
  if (!userWorksTheWindow) {
    // Nobody works the window: it shows the session taking every step with
    // the run's questions, and tells its notices.
    request.runAllWith = &questions;
    request.tellNotice = [this](const std::string& caption, const std::string& text) {
      TellNotice(caption, text);
    };
  }
  BeforeMainWindow(record);
  const int appStatus = AppMain(ProgramInstance(), ShowCommand(), run);
  AfterMainWindow(record);
  questions.TellTray();
  const Outcome outcome =
      appStatus == kStartUpFailedStatus ? Outcome::kInternalFailure : record.outcome;
  return flow.Finish(outcome, request.explainFailures);
}
