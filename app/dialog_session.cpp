#include "app/dialog_session.h"

#include <string>

#include "app/download_app.h"
#include "app/run_context.h"
#include "app/select_device.h"
#include "discovery/device_table.h"
#include "resources/resource_ids.h"

// The session's report rows are the report list's rows.
static_assert(static_cast<int>(ReportRow::kDevice) == kRowDevice &&
              static_cast<int>(ReportRow::kChecksum) == kRowChecksum &&
              static_cast<int>(ReportRow::kModel) == kRowModel &&
              static_cast<int>(ReportRow::kRevision) == kRowRevision &&
              static_cast<int>(ReportRow::kNewVersion) == kRowNewVersion &&
              kReportRowCount == kRowNewVersion + 1);

void DialogObserver::StatusChanged(std::string_view text) {
  app_.ShowText(kIdStatus, std::string(text).c_str());
}

void DialogObserver::ReportRowChanged(ReportRow row, std::string_view value) {
  app_.ShowText(static_cast<int>(row), std::string(value).c_str());
}

void DialogObserver::ProgressChanged(int percent) {
  app_.SetProgress(percent);
}

void DialogObserver::BusyTick(bool /*waitFrame*/) {
  app_.ToggleBusyPicture();
}

void DialogObserver::WaitingNote(std::string_view text) {
  app_.ShowText(kIdStatus, std::string(text).c_str());
}

void DialogObserver::WaitingEnded(std::string_view previous) {
  app_.ShowText(kIdStatus, std::string(previous).c_str());
}

void DialogObserver::Notice(std::string_view caption, std::string_view text) {
  if (app_.run.request.tellNotice) {
    app_.run.request.tellNotice(std::string(caption), std::string(text));
    return;
  }
  MessageBoxA(app_.mainWindow, std::string(text).c_str(), std::string(caption).c_str(), MB_OK);
}

int DialogQuestions::ChooseDrive() {
  const INT_PTR answer = DialogBoxParamA(app_.instance, MAKEINTRESOURCEA(kDialogSelectDevice),
                                         app_.mainWindow, SelectDeviceProc, 0);
  // Closed without OK (Cancel, Esc, the close box): no drive is chosen.
  return (answer >= 0 && answer < g_deviceCount) ? static_cast<int>(answer) : -1;
}

bool DialogQuestions::ConfirmImageWarning(const std::string& warning) {
  if (!app_.run.request.explainFailures) return true;
  const std::string text = warning + ".\n\nDownload it anyway?";
  // Cancel is the default: Enter never flashes what the box warns of.
  return MessageBoxA(app_.mainWindow, text.c_str(), "Warning",
                     MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) == IDOK;
}
