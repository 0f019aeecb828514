// The described application run for the options: the main window shows
// the session, a person works it (or --yes does, through the automation),
// and what the run did is told once the window has gone.
#include <string>

#include "app/entry.h"
#include "app/run_context.h"
#include "app/window_watcher.h"
#include "frontends/dialog/desktop_front_end.h"
#include "frontends/dialog/dialog_automation.h"
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
  // A run that cannot download is found before the drive's tray is opened.
  request.refusalBeforeTray = [&] {
    if (userWorksTheWindow) {
      flow.Publish();
      return std::string();
    }
    return questions.RefusalBeforeTray(options.hasImage ? options.imagePath : record.imageFile);
  };
  DialogAutomation automation(options, questions, run);
  if (!userWorksTheWindow) {
    SetIdleHandler([&automation, &questions, &flow] {
      questions.StartedUp();
      const bool more = automation.OnIdle();
      flow.Publish();
      return more;
    });
  }
  BeforeMainWindow(record);
  const int appStatus = AppMain(ProgramInstance(), ShowCommand(), run);
  AfterMainWindow(record);
  questions.TellTray();
  if (!userWorksTheWindow) SetIdleHandler(nullptr);
  const Outcome outcome =
      appStatus == kStartUpFailedStatus ? Outcome::kInternalFailure : record.outcome;
  return flow.Finish(outcome, request.explainFailures);
}
