// Identifiers of the program's resources and of the controls of its dialogs.
// One list for every platform: the dialog templates, the resource script and
// the application code all name them from here.
#pragma once

// Bitmaps of the state picture (control kIdPicture) and of the browse button.
inline constexpr int kBitmapLogo = 101;      // at start; second frame of the busy animation
inline constexpr int kBitmapWait = 103;      // "Wait !": first frame of the busy animation
inline constexpr int kBitmapOk = 104;        // "OK!": the download succeeded
inline constexpr int kBitmapNg = 105;        // "NG!": the download failed
inline constexpr int kBitmapNoDevice = 106;  // "No Device": no drive found at start
// "Not Confirmed": the drive took the image (or may have) and did not confirm it.
inline constexpr int kBitmapUnconfirmed = 107;
// "Flash Again": the drive failed while writing; its firmware may be incomplete.
inline constexpr int kBitmapIncomplete = 110;
inline constexpr int kBitmapBrowse = 109;  // open folder, on the browse button
inline constexpr int kIconApp = 108;       // window icon

// Dialog templates.
inline constexpr int kDialogMain = 102;
inline constexpr int kDialogReleaseNote = 105;
inline constexpr int kDialogSelectDevice = 106;

// Controls of the main window (template 102).
inline constexpr int kIdDownload = 1;  // IDOK: the default button
inline constexpr int kIdCancel = 8;
inline constexpr int kIdReport = 1000;
inline constexpr int kIdStatus = 1001;
inline constexpr int kIdFileName = 1002;
inline constexpr int kIdBrowse = 1004;
inline constexpr int kIdProgress = 1005;
inline constexpr int kIdPicture = 1017;

// Report rows of the main window (slots of ShowText).
inline constexpr int kRowDevice = 0;      // "Device": the chosen drive's address
inline constexpr int kRowChecksum = 1;    // "Check Sum"
inline constexpr int kRowModel = 2;       // "Model Name"
inline constexpr int kRowRevision = 3;    // "Current F/W Version"
inline constexpr int kRowNewVersion = 4;  // "New F/W Version"

// Controls of the Release Note dialog (template 105).
inline constexpr int kIdReleaseNoteOk = 1;

// Controls of the Select Device dialog (template 106).
inline constexpr int kIdSelectOk = 1;
inline constexpr int kIdSelectCancel = 2;  // IDCANCEL: no drive is chosen
inline constexpr int kIdDeviceList = 1007;
