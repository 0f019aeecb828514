// DownloadApp: the one application object. It owns the drive (AspiDevice),
// the main window and its report list, and the checksum of the last image
// read. Its operations are the display operations, start-up (PrepareDevice),
// the message loop, the drive scan (discovery/), the image choice, and the
// image read and download (download/).
#pragma once

#include <cstdint>
#include <string>

#include "aspi/aspi_device.h"
#include "winui/winapi.h"

class ReportList;

class DownloadApp {
 public:
  // Builds the device, creates the main window from `templateName` with
  // `dialogProcedure`, sets up its report, shows it with `showCommand` and
  // prepares the drive (scan, choice, tray). When the window or its report
  // list cannot be made, the object is left without them and does nothing
  // more: see StartUpFailed().
  DownloadApp(HINSTANCE instance, LPCSTR templateName, DLGPROC dialogProcedure, int showCommand);
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

  // discovery/: sweep, acceptance, choice, report rows; and the tray.
  bool ScanDevices();
  void OpenTray();

  // app/: the open-file dialog of the browse button.
  void ChooseImageFile();

  // download/: image read and checksum; download and verification.
  int ReadImageFile();
  int DownloadFirmware();

  // Fields, in this order.
  HINSTANCE instance;
  HWND mainWindow;
  AspiDevice device;
  std::uint16_t imageChecksum;
  ReportList* reportList;
};

// The application object, from the end of its construction until the entry
// function returns; null otherwise.
extern DownloadApp* g_app;

// Counter of the busy animation; odd shows "Wait !", even the logo.
extern std::uint8_t g_pictureToggle;

// False when --expect-sha256 or --expect-checksum pin another image than the
// one `path` holds (its file's SHA-256, its checksum); the run outcome then
// says so and why. Checked before the terminal's question and again by the
// download's own read.
bool IsTheExpectedImage(const char* path, const std::string& sha256, std::uint16_t checksum);

// Texts of the status line that more than one source file shows.
inline constexpr const char* kTextFailToFindDevice = "Fail to Find Device";
inline constexpr const char* kTextOutOfMemory = "Out of Memory...";
