// DownloadApp: the one application object. It owns the drive (AspiDevice),
// the main window and its report list, and the checksum of the last image
// read, and works for one run (RunContext: what was asked of it, what it
// did). Its operations are the display operations (display.cpp), start-up
// (download_app.cpp), the message loop, the drive scan and the tray
// (scan_flow.cpp, on the sweep of discovery/), the image choice
// (main_dialog.cpp), the image read (image_read.cpp) and the download and
// its verification (download_flow.cpp, with the command of download/).
#pragma once

#include <cstdint>
#include <string>

#include "aspi/aspi_device.h"
#include "winui/winapi.h"

class ReportList;
struct RunContext;
struct RunRecord;
struct RunRequest;

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

  // Fields, in this order.
  HINSTANCE instance;
  HWND mainWindow;
  AspiDevice device;
  std::uint16_t imageChecksum;
  ReportList* reportList;
  // The run the application works for; it outlives the application.
  RunContext& run;
};

// The application object, from the end of its construction until the entry
// function returns; null otherwise.
extern DownloadApp* g_app;

// Counter of the busy animation; odd shows "Wait !", even the logo.
extern std::uint8_t g_pictureToggle;

// Why the image `path` holds (its file's SHA-256, its checksum) is not the
// one --expect-sha256 or --expect-checksum pin, as the run's failure reason
// ("... is not the expected image: ..."); empty when it is, or nothing is
// pinned. Checked before the terminal's question and again by the
// download's own read.
std::string UnexpectedImageReason(const RunRequest& request, const char* path,
                                  const std::string& sha256, std::uint16_t checksum);
// Records `reason` (UnexpectedImageReason's) as the run's failure: the image
// is not the one pinned, and was not sent. An empty reason records that the
// image is the one pinned.
void RecordUnexpectedImage(RunRecord& record, const std::string& reason);

// Texts of the status line that more than one source file shows.
inline constexpr const char* kTextFailToFindDevice = "Fail to Find Device";
inline constexpr const char* kTextOutOfMemory = "Out of Memory...";
