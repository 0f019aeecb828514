#include "app/entry.h"

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "resources/resource_ids.h"
#include "text/version.h"

namespace {

constexpr const char* kTextNoMainWindow = "The main window could not be created.";

}  // namespace

int RunApplication(HINSTANCE instance, LPCSTR templateName, int showCommand, RunContext& run) {
  int status = 0;
  ResetApplicationState();
  {
    DownloadApp app(instance, templateName, MainDialogProc, showCommand, run);
    g_app = &app;
    if (app.StartUpFailed()) {
      // No loop could end without a window, and without its report the
      // program cannot work: it ends here instead of waiting for nothing.
      if (app.mainWindow == nullptr) {
        MessageBoxA(nullptr, kTextNoMainWindow, kProgramTitle, MB_OK | MB_ICONERROR);
      } else {
        DestroyWindow(app.mainWindow);
      }
      status = kStartUpFailedStatus;
    } else {
      if (run.request.afterStartUp != nullptr) run.request.afterStartUp(app);
      if (run.request.runAllWith != nullptr) app.RunAllSteps();
      status = app.RunMessageLoop();
    }
  }
  g_app = nullptr;
  return status;
}

int AppMain(HINSTANCE instance, int showCommand, RunContext& run) {
  return RunApplication(instance, MAKEINTRESOURCEA(kDialogMain), showCommand, run);
}
