#include "frontends/dialog/dialog_automation.h"

#include "app/download_app.h"
#include "app/run_context.h"
#include "image/firmware_image.h"
#include "program/flow_questions.h"
#include "resources/resource_ids.h"

DialogAutomation::DialogAutomation(const ProgramOptions& options, ProgramQuestions& questions,
                                   RunContext& run)
    : hasImage_(options.hasImage),
      imagePath_(options.imagePath),
      questions_(questions),
      run_(run) {}

bool DialogAutomation::OnIdle() {
  if (g_app == nullptr || g_app->mainWindow == nullptr) return false;
  // Once the download has its outcome (the reboot notice or the failure),
  // or there was nothing to do: end.
  if (stage_ != Stage::kStart) {
    stage_ = Stage::kDone;
    return false;
  }
  stage_ = Stage::kDone;
  // Without a chosen drive, or refused before its tray was opened, the
  // status line already says why.
  if (!run_.record.driveChosen || run_.record.refusedBeforeTray) return false;
  // The image named, or the one the application put in its file name box.
  const std::string& image = hasImage_ ? imagePath_ : run_.record.imageFile;
  if (image.empty()) {
    questions_.AskForImage();  // --yes asks nothing: it says why nothing is flashed
    return false;
  }
  const bool tooLong = image.size() > static_cast<std::size_t>(kMaxImagePathLength);
  const DownloadConsent consent = questions_.ConfirmDownload(image, tooLong);
  if (!consent.download) {
    if (!consent.status.empty()) g_app->ShowText(kIdStatus, consent.status.c_str());
    return false;
  }
  // Given as the mouse would.
  stage_ = Stage::kDownloadClicked;
  PostMessageA(g_app->mainWindow, WM_COMMAND, MAKEWPARAM(kIdDownload, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(g_app->mainWindow, kIdDownload)));
  return true;
}
