// The display operations of the main window: status line, report rows,
// state picture, busy animation and progress bar.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "app/download_app.h"
#include "app/report_list.h"
#include "app/run_context.h"
#include "app/window_watcher.h"
#include "image/firmware_image.h"
#include "resources/resource_ids.h"

std::uint8_t g_pictureToggle = 0;

namespace {

constexpr int kLastReportSlot = 5;
constexpr int kTextBufferSize = kImagePathSize;  // as the window's other text buffers
constexpr int kKeyColumnWidth = 120;
constexpr int kValueColumnMargin = 125;

}  // namespace

// What the window shows is told here, once, to the run's record and to
// whoever watches the window.
LRESULT DownloadApp::ShowText(int slot, const char* text) {
  if (slot > kLastReportSlot) {
    RecordShownText(run.record, slot, text);
    const LRESULT result =
        SendMessageA(GetDlgItem(mainWindow, slot), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    if (slot == kIdStatus) {
      for (WindowWatcher* watcher : run.request.watchers)
        watcher->StatusShown(text == nullptr ? "" : text);
    }
    return result;
  }
  if (reportList == nullptr) return 0;
  char buffer[kTextBufferSize];
  std::snprintf(buffer, sizeof buffer, "%s", text);
  RecordShownText(run.record, slot, buffer);
  const LRESULT result = reportList->SetItem(slot, 1, buffer);
  if (slot < kReportRowCount) {
    for (WindowWatcher* watcher : run.request.watchers) watcher->ReportRowShown(slot, buffer);
  }
  return result;
}

int DownloadApp::InitDialogContents() {
  InitCommonControls();
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(kIconApp));
  SendMessageA(mainWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetStatePicture(kBitmapLogo);
  reportList->AddColumn("Key", -1);
  reportList->AddColumn("Value", -1);
  for (int row = 0; row < kReportRowCount; ++row)
    reportList->SetItem(row, 0, ReportLabels()[row].c_str());
  RECT rectangle{};
  GetWindowRect(GetDlgItem(mainWindow, kIdReport), &rectangle);
  reportList->SetColumnWidth(0, kKeyColumnWidth);
  reportList->SetColumnWidth(1, (rectangle.right - rectangle.left) - kValueColumnMargin);
  HBITMAP folder = LoadBitmapA(instance, MAKEINTRESOURCEA(kBitmapBrowse));
  SendDlgItemMessageA(mainWindow, kIdBrowse, BM_SETIMAGE, IMAGE_BITMAP,
                      reinterpret_cast<LPARAM>(folder));
  InitProgress();
  return 1;
}

// Repainted at once: the long operations run without returning to the
// message loop, and the picture must still change while they run.
void DownloadApp::SetStatePicture(int bitmapId) {
  statePicture = bitmapId;
  HBITMAP picture = LoadBitmapA(instance, MAKEINTRESOURCEA(bitmapId));
  HWND button = GetDlgItem(mainWindow, kIdPicture);
  // The button does not own its pictures: the one it showed before is
  // released here, so that the busy animation does not pile them up.
  const LRESULT previous =
      SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
  if (previous != 0 && reinterpret_cast<HBITMAP>(previous) != picture) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(previous));
  }
  InvalidateRect(button, nullptr, TRUE);
  UpdateWindow(button);
}

void DownloadApp::ToggleBusyPicture() {
  ++g_pictureToggle;
  SetStatePicture((g_pictureToggle & 1) != 0 ? kBitmapWait : kBitmapLogo);
}

void DownloadApp::InitProgress() {
  SendDlgItemMessageA(mainWindow, kIdProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

void DownloadApp::SetProgress(int percent) {
  char text[16];
  std::snprintf(text, sizeof text, "%d%%", percent);
  HWND bar = GetDlgItem(mainWindow, kIdProgress);
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  SendMessageA(bar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  for (WindowWatcher* watcher : run.request.watchers) watcher->ProgressShown(percent);
}
