#include "app/cli/automation.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "app/cli/printable.h"
#include "app/cli/program.h"
#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/resource_ids.h"
#include "app/run_options.h"
#include "discovery/device_table.h"
#include "image/result_codes.h"
#include "platform/winapi.h"

namespace {

constexpr const char* kTextNotConfirmed =
    "Not downloading without --yes when standard input is not a terminal";
constexpr ResultCode kResultCanceledByUser = 14;  // "Download canceled by user..."

bool ControlEnabled(int id) {
  HWND control = GetDlgItem(g_app->mainWindow, id);
  return control != nullptr && IsWindowEnabled(control) != FALSE;
}

// Posts the click of a button of the main window, as the mouse would.
void PostButton(int id) {
  PostMessageA(g_app->mainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(g_app->mainWindow, id)));
}

bool IsYes(std::string_view answer) {
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
    answer.remove_suffix(1);
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.front())))
    answer.remove_prefix(1);
  if (answer.size() != 1 && answer.size() != 3) return false;
  std::string lower;
  for (char c : answer) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "y" || lower == "yes";
}

}  // namespace

DownloadAutomation::DownloadAutomation(const ProgramOptions& options, ProgramFrontEnd& frontEnd)
    : yes_(options.yes), frontEnd_(frontEnd) {}

bool DownloadAutomation::OnIdle() {
  if (g_app == nullptr || g_app->mainWindow == nullptr) return false;
  if (Step()) return true;
  TakeSnapshot();
  return false;
}

void DownloadAutomation::TakeSnapshot() {
  HWND window = g_app->mainWindow;
  char text[260] = {};
  GetDlgItemTextA(window, kIdStatus, text, sizeof text);
  shown_.statusLine = text;
  GetDlgItemTextA(window, kIdFileName, text, sizeof text);
  shown_.imageFile = text;
  HWND report = GetDlgItem(window, kIdReport);
  for (int row = 0; row < 5; ++row) {
    char cell[260] = {};
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = cell;
    item.cchTextMax = sizeof cell;
    SendMessageA(report, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    shown_.rows[row] = cell;
  }
  shown_.taken = true;
}

bool DownloadAutomation::Step() {
  switch (stage_) {
    case Stage::kStart:
      return Start();
    case Stage::kBrowsing:
      // The open-file question was answered (or not): a name enables Download.
      if (ControlEnabled(kIdDownload)) return ConfirmDownload();
      noImage_ = true;
      stage_ = Stage::kDone;
      return false;
    case Stage::kDownloadClicked:
    case Stage::kDone:
      break;
  }
  // The download has its outcome (the reboot notice or the failure): end.
  stage_ = Stage::kDone;
  return false;
}

bool DownloadAutomation::Start() {
  stage_ = Stage::kDone;
  // Without a chosen drive the status line already says why; nothing to do.
  if (!g_runOutcome.driveChosen) return false;
  if (ControlEnabled(kIdDownload)) return ConfirmDownload();
  // No image yet (the default image is missing). On a terminal the user may
  // name one, as the browse button lets them; --yes never asks.
  if (!yes_ && frontEnd_.CanAsk() && ControlEnabled(kIdBrowse)) {
    stage_ = Stage::kBrowsing;
    PostButton(kIdBrowse);
    return true;
  }
  noImage_ = true;
  frontEnd_.PrintError("No image to download: name one with --image FILE, or put " +
                       std::string(kDefaultImageName) + " in the current folder");
  return false;
}

bool DownloadAutomation::ConfirmDownload() {
  if (yes_) return ClickDownload();
  if (!frontEnd_.CanAsk()) {
    notConfirmed_ = true;
    stage_ = Stage::kDone;
    frontEnd_.PrintError(kTextNotConfirmed);
    return false;
  }
  const std::optional<std::string> answer = frontEnd_.Ask(Question());
  if (answer && IsYes(*answer)) return ClickDownload();
  declined_ = true;
  stage_ = Stage::kDone;
  g_app->ShowText(kIdStatus, ResultMessages[kResultCanceledByUser]);
  return false;
}

bool DownloadAutomation::ClickDownload() {
  stage_ = Stage::kDownloadClicked;
  PostButton(kIdDownload);
  return true;
}

std::string DownloadAutomation::Question() const {
  char file[260] = {};
  GetDlgItemTextA(g_app->mainWindow, kIdFileName, file, sizeof file);
  std::string model = "the drive";
  for (int row = 0; row < g_deviceCount; ++row) {
    const DeviceEntry& entry = DeviceTable[row];
    if (entry.adapterId == g_runOutcome.chosenAdapter &&
        entry.targetId == g_runOutcome.chosenTarget)
      model = entry.model;
  }
  char address[16];
  std::snprintf(address, sizeof address, "%u:%u", static_cast<unsigned>(g_runOutcome.chosenAdapter),
                static_cast<unsigned>(g_runOutcome.chosenTarget));
  return "Download " + PrintableText(file) + " to " + PrintableText(model) + " at " + address +
         "? [y/N] ";
}
