// The Windows front end driving the whole program in this process, on the
// emulated bus: the desktop asks its user where the terminal would refuse.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "frontends/windows/windows_front_end.h"
#include "program/options.h"
#include "program/program.h"
#include "resources/resource_ids.h"
#include "session/flash_session.h"
#include "tests/windows/message_box_window.h"

namespace {

// The user of this test: picks the second drive in the Select Device dialog,
// confirms every message box, and closes the main window once it waits.
struct TestUser {
  HHOOK hook = nullptr;
  UINT_PTR timer = 0;
  bool sawSelectDevice = false;
  bool mainWindowMinimised = false;
  bool reportFits = false;  // every label and value shows whole
  int boxes = 0;            // message boxes shown
};
TestUser g_user;

LRESULT CALLBACK UserHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, "Select Device") == 0) {
      g_user.sawSelectDevice = true;
      LVITEMA state{};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      state.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendDlgItemMessageA(window, kIdDeviceList, LVM_SETITEMSTATE, 1,
                          reinterpret_cast<LPARAM>(&state));
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(kIdSelectOk, BN_CLICKED), 0);
    } else if (IsMessageBoxWindow(window)) {
      ++g_user.boxes;
      PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    }
  }
  return CallNextHookEx(g_user.hook, code, wParam, lParam);
}

// The model name, the longest value, shows whole, and no column leaves the list.
bool ReportFits(HWND list) {
  RECT client{};
  GetClientRect(list, &client);
  char model[64] = {};
  ListView_GetItemText(list, kRowModel, 1, model, sizeof model);
  const int key = ListView_GetColumnWidth(list, 0);
  const int value = ListView_GetColumnWidth(list, 1);
  return ListView_GetStringWidth(list, model) < value && key + value <= client.right;
}

void CALLBACK CloseWhenWaiting(HWND, UINT, UINT_PTR, DWORD) {
  if (g_app != nullptr && g_app->mainWindow != nullptr && IsWindowEnabled(g_app->mainWindow)) {
    g_user.mainWindowMinimised = IsIconic(g_app->mainWindow) != FALSE;
    g_user.reportFits = ReportFits(GetDlgItem(g_app->mainWindow, kIdReport));
    PostMessageA(g_app->mainWindow, WM_CLOSE, 0, 0);
  }
}

// The Windows front end, keeping what the run did once its window has gone.
class RecordKeepingFrontEnd : public WindowsFrontEnd {
 public:
  using WindowsFrontEnd::WindowsFrontEnd;
  void AfterMainWindow(const RunRecord& run) override {
    WindowsFrontEnd::AfterMainWindow(run);
    record = run;
  }
  RunRecord record;
};

TEST(WindowsFrontEnd, TheDesktopLetsItsUserChooseAmongSeveralDrives) {
  InitCommonControls();
  ProgramOptions options;
  options.emulate = true;
  options.emulateLayout = "0:0=drive,0:3=drive";
  g_user = TestUser{};
  g_user.hook = SetWindowsHookExA(WH_CBT, UserHook, nullptr, GetCurrentThreadId());
  g_user.timer = SetTimer(nullptr, 0, 100, CloseWhenWaiting);
  int status = -1;
  RunRecord run;
  {
    // Started minimised (a shortcut's "Run: Minimized"): the window is shown so.
    RecordKeepingFrontEnd frontEnd(options, SW_SHOWMINNOACTIVE);
    status = RunProgram(options, frontEnd);
    run = frontEnd.record;
  }
  KillTimer(nullptr, g_user.timer);
  UnhookWindowsHookEx(g_user.hook);
  EXPECT_TRUE(g_user.sawSelectDevice);
  EXPECT_TRUE(run.driveChosen);
  EXPECT_EQ(run.chosenTarget, 3) << "the drive the user picked";
  EXPECT_FALSE(run.downloadAttempted) << "nothing is flashed unless the user clicks";
  EXPECT_EQ(status, ExitStatus(Outcome::kNotDownloaded));
  EXPECT_TRUE(g_user.mainWindowMinimised);
  EXPECT_TRUE(g_user.reportFits) << "a label or value of the report is cut";
}

// A close request during the download is answered at once with a note, the
// window stays, the download is seen through, and the note goes with it.
struct CloseDuringDownload {
  bool clicked = false;
  bool noteSeen = false;
  bool windowStayed = false;
  HANDLE watcher = nullptr;
  volatile bool watching = false;
};
CloseDuringDownload g_close;

BOOL CALLBACK FindBusyNote(HWND window, LPARAM found) {
  char text[256] = {};
  // 0xFFFF: the text of a message box.
  if (IsMessageBoxWindow(window) && GetDlgItemTextA(window, 0xFFFF, text, sizeof text) > 0 &&
      std::strcmp(text, kBusyCloseText) == 0)
    *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

HWND BusyNote() {
  HWND found = nullptr;
  EnumWindows(FindBusyNote, reinterpret_cast<LPARAM>(&found));
  return found;
}

DWORD WINAPI WatchForTheNote(LPVOID) {
  while (g_close.watching && !g_close.noteSeen) {
    if (BusyNote() != nullptr) {
      g_close.noteSeen = true;
      g_close.windowStayed =
          g_app != nullptr && IsWindow(g_app->mainWindow) && !g_app->run.record.downloadSucceeded;
    }
    Sleep(20);
  }
  return 0;
}

void CALLBACK DownloadThenClose(HWND, UINT, UINT_PTR, DWORD) {
  if (g_app == nullptr || g_app->mainWindow == nullptr || !IsWindowEnabled(g_app->mainWindow))
    return;
  HWND main = g_app->mainWindow;
  if (!g_close.clicked) {
    if (!IsWindowEnabled(GetDlgItem(main, kIdDownload))) return;
    g_close.clicked = true;
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdDownload, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(main, kIdDownload)));
    PostMessageA(main, WM_CLOSE, 0, 0);
    return;
  }
  CloseWhenWaiting(nullptr, 0, 0, 0);
}

void CALLBACK ClickDownloadThenClose(HWND, UINT, UINT_PTR, DWORD) {
  if (g_app == nullptr || g_app->mainWindow == nullptr || !IsWindowEnabled(g_app->mainWindow))
    return;
  HWND main = g_app->mainWindow;
  if (g_close.clicked) return CloseWhenWaiting(nullptr, 0, 0, 0);
  if (!IsWindowEnabled(GetDlgItem(main, kIdDownload))) return;
  g_close.clicked = true;
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdDownload, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main, kIdDownload)));
}

TEST(WindowsFrontEnd, ACloseRequestDuringTheDownloadIsRefusedAtOnce) {
  ProgramOptions options;
  options.emulate = true;
  // The drive holds the download command: the close comes while it does.
  options.emulateLayout = "0:0=drive+fault=slow-download+delay=1500";
  options.hasImage = true;
  options.imagePath = QTR5_SAMPLE_IMAGE;
  g_user = TestUser{};
  g_close = CloseDuringDownload{};
  g_close.watching = true;
  g_close.watcher = CreateThread(nullptr, 0, WatchForTheNote, nullptr, 0, nullptr);
  g_user.hook = SetWindowsHookExA(WH_CBT, UserHook, nullptr, GetCurrentThreadId());
  g_user.timer = SetTimer(nullptr, 0, 100, DownloadThenClose);
  int status = -1;
  RunRecord run;
  {
    RecordKeepingFrontEnd frontEnd(options);
    status = RunProgram(options, frontEnd);
    run = frontEnd.record;
  }
  KillTimer(nullptr, g_user.timer);
  UnhookWindowsHookEx(g_user.hook);
  g_close.watching = false;
  WaitForSingleObject(g_close.watcher, INFINITE);
  CloseHandle(g_close.watcher);
  EXPECT_TRUE(g_close.noteSeen);
  EXPECT_TRUE(g_close.windowStayed);
  EXPECT_TRUE(run.downloadSucceeded);
  EXPECT_EQ(BusyNote(), nullptr) << "the note goes when the download has ended";
  EXPECT_EQ(status, ExitStatus(Outcome::kSuccess));
}

// Windows asks the main window whether the session may end (log off, shut
// down): not from the download command until the drive's reprogramming
// window has ended, and again once the outcome is shown. Asked from another
// thread, as Windows asks, while the emulated drive holds the download.
// The answers to WM_QUERYENDSESSION: [0] on "Downloading...", [1] on the
// success; -1 while not asked.
LRESULT g_answers[2] = {-1, -1};

DWORD WINAPI AskAsWindowsWould(LPVOID) {
  const char* awaited[] = {kTextDownloading, kTextDownloadSucceeded};
  for (int asked = 0, tries = 0; asked < 2 && tries < 6000; ++tries, Sleep(10)) {
    HWND main = g_app != nullptr ? g_app->mainWindow : nullptr;
    char shown[64] = {};
    DWORD_PTR answer = 0;
    if (main == nullptr ||
        SendMessageTimeoutA(GetDlgItem(main, kIdStatus), WM_GETTEXT, sizeof shown,
                            reinterpret_cast<LPARAM>(shown), SMTO_ABORTIFHUNG, 1000,
                            &answer) == 0 ||
        std::strcmp(shown, awaited[asked]) != 0)
      continue;
    if (SendMessageTimeoutA(main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0)
      g_answers[asked] = static_cast<LRESULT>(answer);
    ++asked;
  }
  return 0;
}

TEST(WindowsFrontEnd, TheSessionMayNotEndWhileTheDriveRewritesItsFirmware) {
  ProgramOptions options;
  options.emulate = true;
  options.emulateLayout = "0:0=drive+fault=slow-download+delay=1500";
  options.hasImage = true;
  options.imagePath = QTR5_SAMPLE_IMAGE;
  g_user = TestUser{};
  g_close = CloseDuringDownload{};
  g_answers[0] = g_answers[1] = -1;
  HANDLE asker = CreateThread(nullptr, 0, AskAsWindowsWould, nullptr, 0, nullptr);
  g_user.hook = SetWindowsHookExA(WH_CBT, UserHook, nullptr, GetCurrentThreadId());
  g_user.timer = SetTimer(nullptr, 0, 100, ClickDownloadThenClose);
  int status = -1;
  {
    WindowsFrontEnd frontEnd(options);
    status = RunProgram(options, frontEnd);
  }
  KillTimer(nullptr, g_user.timer);
  UnhookWindowsHookEx(g_user.hook);
  WaitForSingleObject(asker, INFINITE);
  CloseHandle(asker);
  EXPECT_EQ(status, ExitStatus(Outcome::kSuccess));
  EXPECT_EQ(g_answers[0], FALSE) << "the session could end during the download";
  EXPECT_EQ(g_answers[1], TRUE) << "after the download (-1: not asked)";
}

// Started from the desktop (no standard error): diagnostics are kept for the
// window, the transport's without the program's name, and taken once; what a
// box has shown already is not kept.
TEST(WindowsFrontEnd, WithoutStandardErrorDiagnosticsAreKeptForTheWindow) {
  WindowsFrontEnd frontEnd(ProgramOptions{}, SW_SHOWNORMAL, false);
  frontEnd.PrintError("transport: SCSI pass-through");
  frontEnd.TransportSink()("qtr5-download: \\\\.\\CdRom0: the device has gone away.");
  frontEnd.PrintErrorShownInWindow("No XPM-3177K drive was accepted");
  EXPECT_EQ(frontEnd.TakeUnseenNotes(),
            "transport: SCSI pass-through\n\\\\.\\CdRom0: the device has gone away.\n");
  EXPECT_EQ(frontEnd.TakeUnseenNotes(), "");
}

// Under --yes the window shows the session taking every step and closes by
// itself: no box opens, and the reboot notice is echoed.
TEST(WindowsFrontEnd, UnderYesTheWindowRunsByItselfAndOpensNoBox) {
  ProgramOptions options;
  options.emulate = true;
  options.yes = true;
  options.hasImage = true;
  options.imagePath = QTR5_SAMPLE_IMAGE;
  g_user = TestUser{};
  g_user.hook = SetWindowsHookExA(WH_CBT, UserHook, nullptr, GetCurrentThreadId());
  int status = -1;
  {
    WindowsFrontEnd frontEnd(options);
    EXPECT_FALSE(frontEnd.Ask("Download?").has_value());
    status = RunProgram(options, frontEnd);
  }
  UnhookWindowsHookEx(g_user.hook);
  EXPECT_EQ(g_user.boxes, 0) << "a box waited for a person under --yes";
  EXPECT_EQ(status, ExitStatus(Outcome::kSuccess));
}

}  // namespace
