// DownloadApp: the one application object. It owns the drive (AspiDevice),
// the main window and its report list, and the checksum of the last image
// read, and works for one run (RunContext: what was asked of it, what it
// did). Its operations are the display operations (display.cpp), start-up
// (download_app.cpp), the message loop and the image choice
// (main_dialog.cpp); the drive scan, the tray, the image read and the
// download with its verification are the flash session's steps
// (flow_steps.cpp, session/), whose events and questions the window shows
// and asks (dialog_session.h).
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

#include "app/dialog_session.h"
#include "aspi/aspi_device.h"
#include "resources/resource_ids.h"
#include "session/flash_session.h"
#include "winui/winapi.h"

class ReportList;
struct RunContext;
struct RunRecord;
struct RunRequest;

// While the drive is looked for, the status line says so and the window's
// controls are off (nothing can be done before a drive is chosen); they are
// given back as they were when the search ends.
inline constexpr const char* kTextSearching = "Searching for the drive...";
class SearchingForDrive {
 public:
  explicit SearchingForDrive(HWND window);
  ~SearchingForDrive();
  SearchingForDrive(const SearchingForDrive&) = delete;
  SearchingForDrive& operator=(const SearchingForDrive&) = delete;

 private:
  static constexpr int kControls[] = {kIdDownload, kIdCancel, kIdBrowse, kIdFileName};
  HWND window_;
  bool wasEnabled_[std::size(kControls)] = {};
};

class DownloadApp {
 public:
  // Builds the device, creates the main window from `templateName` with
  // `dialogProcedure`, sets up its report, shows it with `showCommand` and
  // prepares the drive (scan, choice, tray), all for `run`, which the
  // dialog procedure gets as WM_INITDIALOG's parameter. When the window or
  // its report list cannot be made, the object is left without them and
  // does nothing more: see StartUpFailed().
  DownloadApp(HINSTANCE instance, LPCSTR templateName, DLGPROC dialogProcedure, int showCommand,
              RunContext& run);
  ~DownloadApp();
  DownloadApp(const DownloadApp&) = delete;
  DownloadApp& operator=(const DownloadApp&) = delete;

  // Display operations on the main window.
  // Slots 0 to 5 address a report row (its "Value" column); larger slots are
  // control identifiers whose whole text is replaced.
  LRESULT ShowText(int slot, const char* text);
  int InitDialogContents();
  void SetStatePicture(int bitmapId);
  void ToggleBusyPicture();
  void InitProgress();
  void SetProgress(int percent);

  // Start-up drive preparation: scan, choice, tray, status line.
  void PrepareDevice();
  // Runs until WM_QUIT; returns its wParam (0 when the main window closed).
  int RunMessageLoop();
  HINSTANCE GetInstance() const;
  // True when the main window or its report list could not be made; the
  // program then has nothing to run and must end.
  bool StartUpFailed() const;

  // Sweep, acceptance, choice, report rows; and the tray.
  bool ScanDevices();
  void OpenTray();

  // The open-file dialog of the browse button.
  void ChooseImageFile();

  // Image read and checksum; download and verification.
  int ReadImageFile();
  int DownloadFirmware();

  // A run nobody works at the window: every step of the session in order,
  // shown in the window, which then closes.
  void RunAllSteps();
  // The state picture shows that the download of the file named failed
  // ("NG!"): a new name takes it back.
  bool ShowsFailure() const { return statePicture == kBitmapNg; }
  // The state picture of a download that did not succeed, as the run's
  // record tells it: incomplete, not confirmed, or failed ("NG!").
  int FailedDownloadPicture() const;

  // Fields, in this order.
  HINSTANCE instance;
  HWND mainWindow;
  AspiDevice device;
  std::uint16_t imageChecksum;
  ReportList* reportList;
  // The run the application works for; it outlives the application.
  RunContext& run;
  // The flow of the run, shown in this window and asking in its dialogs.
  DialogObserver sessionObserver{*this};
  DialogQuestions sessionQuestions{*this};
  FlashSession session;
  // The bitmap the state picture shows.
  int statePicture = kBitmapLogo;
};

// The application object, from the end of its construction until the entry
// function returns; null otherwise.
extern DownloadApp* g_app;

// Counter of the busy animation; odd shows "Wait !", even the logo.
extern std::uint8_t g_pictureToggle;
