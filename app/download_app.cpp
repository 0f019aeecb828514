// DownloadApp: construction order, drive preparation, message loop, teardown.
#include "app/download_app.h"

#include <new>
#include <string>
#include <string_view>

#include "app/main_dialog.h"
#include "app/report_list.h"
#include "app/run_context.h"
#include "discovery/scan_record.h"
#include "resources/program_resources.h"
#include "resources/resource_ids.h"

DownloadApp* g_app = nullptr;

namespace {

constexpr const char* kCaptionNoDrive = "Why no drive was found";

// Device text for a message box: a control character shows as '?'.
std::string Shown(std::string_view text) {
  std::string shown;
  for (const char c : text) shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return shown;
}

// After "Fail to Find Device", for a window that has no other place to say
// it: what each address that answered held, why it was not taken, and what
// to do (the status line keeps its own text).
void ExplainNoDrive(HWND window, const RunContext& run) {
  if (!run.request.explainFailures) return;
  // In the window's terms: the command line's list is for the terminal.
  std::string text =
      "No XPM-3177K drive was accepted.\n\nCheck that the drive is connected and switched on "
      "and that no other program uses it, then start this program again.";
  for (const ScanEntry& entry : run.scan) {
    if (entry.finding == ScanFinding::kAccepted || entry.finding == ScanFinding::kNoDevice)
      continue;
    text +=
        "\n\nNot accepted at " + std::to_string(entry.adapter) + ":" + std::to_string(entry.target);
    if (!entry.failure.failed)
      text += " \"" + Shown(entry.model) + "\" \"" + Shown(entry.revision) + "\"";
    text += ": " + entry.Reason();
  }
  text += UnseenNotesForBox(run.request);
  // What the transport knows of the cause (administrator rights) comes first.
  const std::string cause = run.request.noDriveCause ? run.request.noDriveCause() : "";
  if (!cause.empty()) text = cause + "\n\n" + text;
  MessageBoxA(window, text.c_str(), kCaptionNoDrive, MB_OK | MB_ICONINFORMATION);
}

}  // namespace

SearchingForDrive::SearchingForDrive(HWND window) : window_(window) {
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    HWND control = GetDlgItem(window_, kControls[i]);
    wasEnabled_[i] = IsWindowEnabled(control) != FALSE;
    EnableWindow(control, FALSE);
  }
  // Not a step of the run (its record and its watchers get the scan's own
  // texts): only the window's placeholder is replaced.
  SetDlgItemTextA(window_, kIdStatus, kTextSearching);
}

SearchingForDrive::~SearchingForDrive() {
  for (std::size_t i = 0; i < std::size(kControls); ++i)
    EnableWindow(GetDlgItem(window_, kControls[i]), wasEnabled_[i] ? TRUE : FALSE);
}

// The device is the first member built (it asks the ASPI service for its
// adapters); the other fields are set in the order the start-up needs them.
DownloadApp::DownloadApp(HINSTANCE moduleInstance, LPCSTR templateName, DLGPROC dialogProcedure,
                         int showCommand, RunContext& runContext)
    : run(runContext),
      session(device, runContext.request, runContext.record, runContext.scan, sessionObserver,
              runContext.request.runAllWith != nullptr ? *runContext.request.runAllWith
                                                       : sessionQuestions) {
  instance = moduleInstance;
  imageChecksum = 0;
  reportList = nullptr;
  // The dialog procedure's WM_INITDIALOG runs inside this call, while g_app
  // is still null and the report list not yet made.
  qtr5::RegisterProgramResources(moduleInstance);  // its windows, pictures and icon
  mainWindow = CreateDialogParamA(moduleInstance, templateName, nullptr, dialogProcedure,
                                  reinterpret_cast<LPARAM>(&run));
  if (mainWindow == nullptr) {
    run.record.startUpFailed = true;
    run.record.outcome = Outcome::kInternalFailure;
    return;
  }
  // The template is system-modal, which makes the window topmost; keep its
  // place and size but take the topmost state away.
  RECT rectangle{};
  GetWindowRect(mainWindow, &rectangle);
  SetWindowPos(mainWindow, HWND_NOTOPMOST, rectangle.left, rectangle.top,
               rectangle.right - rectangle.left, rectangle.bottom - rectangle.top, 0);
  reportList = new (std::nothrow) ReportList(mainWindow, GetDlgItem(mainWindow, kIdReport));
  if (reportList == nullptr) {
    // Without its report the program cannot show what it finds: it says so
    // and ends (see AppMain) instead of scanning.
    run.record.startUpFailed = true;
    run.record.outcome = Outcome::kInternalFailure;
    ShowText(kIdStatus, kTextOutOfMemory);
    return;
  }
  InitDialogContents();
  // On the screen from here while the drive is looked for and prepared: a
  // request to close the window meanwhile is refused.
  const DriveWork work;
  ShowWindow(mainWindow, showCommand);
  UpdateWindow(mainWindow);
  // A run nobody works at the window takes its steps once it is shown.
  if (run.request.runAllWith == nullptr) PrepareDevice();
}

DownloadApp::~DownloadApp() {
  delete reportList;
  reportList = nullptr;
  // device is destroyed after this body, releasing its data buffer.
}

void DownloadApp::PrepareDevice() {
  ScanResult scanned = ScanResult::kNoDrive;
  if (!device.IsAvailable()) {
    ShowText(kIdStatus, kTextFailToInitialize);
    scanned = session.Scan();
  } else {
    const SearchingForDrive searching(mainWindow);
    scanned = session.Scan();
  }
  if (scanned == ScanResult::kChosen) {
    OpenTray();
    char name[2] = {};
    GetDlgItemTextA(mainWindow, kIdFileName, name, sizeof name);
    ShowText(kIdStatus, name[0] != '\0' ? kTextReadyToDownload : kTextReady);
    // The image named at start (or the default image) makes Download usable
    // now that a drive is chosen, whether or not the file name box reported
    // its text when it was set (under Wine in the test machine it did not).
    FileNameChanged(mainWindow);
    return;
  }
  // A drive that may be taken when asked again: said in the window's words,
  // and Download becomes Retry.
  if (scanned == ScanResult::kNotReady || scanned == ScanResult::kNoneChosen) {
    ShowText(kIdStatus,
             scanned == ScanResult::kNotReady ? kTextNotReadyRetry : kTextNoneChosenRetry);
    OfferRescan(mainWindow);
    return;
  }
  ShowText(kIdStatus,
           run.record.scanRefusal.empty() ? kTextFailToFindDevice : run.record.scanRefusal.c_str());
  SetStatePicture(kBitmapNoDevice);
  EnableWindow(GetDlgItem(mainWindow, kIdBrowse), FALSE);
  // No drive was accepted: a default image found at start must not make the
  // Download button usable (the file name box keeps it disabled from now on).
  EnableWindow(GetDlgItem(mainWindow, kIdDownload), FALSE);
  if (run.record.scanRefusal.empty()) ExplainNoDrive(mainWindow, run);
}

int DownloadApp::RunMessageLoop() {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) break;  // WM_QUIT
    if (got == -1) return 1;
    if (!IsDialogMessageA(mainWindow, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

HINSTANCE DownloadApp::GetInstance() const {
  return instance;
}

bool DownloadApp::StartUpFailed() const {
  return mainWindow == nullptr || reportList == nullptr;
}
