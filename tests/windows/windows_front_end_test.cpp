// The Windows front end driving the whole program in this process, on the
// emulated bus: the desktop asks its user where the terminal would refuse.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>

#include "app/cli/options.h"
#include "app/cli/program.h"
#include "app/download_app.h"
#include "app/resource_ids.h"
#include "app/run_options.h"
#include "app/windows/automation_hooks.h"
#include "app/windows/windows_front_end.h"

namespace {

// The user of this test: picks the second drive in the Select Device dialog,
// confirms every message box, and closes the main window once it waits.
struct TestUser {
  HHOOK hook = nullptr;
  UINT_PTR timer = 0;
  bool sawSelectDevice = false;
  bool mainWindowMinimised = false;
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
      PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    }
  }
  return CallNextHookEx(g_user.hook, code, wParam, lParam);
}

void CALLBACK CloseWhenWaiting(HWND, UINT, UINT_PTR, DWORD) {
  if (g_app != nullptr && g_app->mainWindow != nullptr && IsWindowEnabled(g_app->mainWindow)) {
    g_user.mainWindowMinimised = IsIconic(g_app->mainWindow) != FALSE;
    PostMessageA(g_app->mainWindow, WM_CLOSE, 0, 0);
  }
}

TEST(WindowsFrontEnd, TheDesktopLetsItsUserChooseAmongSeveralDrives) {
  InitCommonControls();
  ProgramOptions options;
  options.emulate = true;
  options.emulateLayout = "0:0=drive,0:3=drive";
  g_user = TestUser{};
  g_user.hook = SetWindowsHookExA(WH_CBT, UserHook, nullptr, GetCurrentThreadId());
  g_user.timer = SetTimer(nullptr, 0, 100, CloseWhenWaiting);
  int status = -1;
  {
    // Started minimised (a shortcut's "Run: Minimized"): the window is shown so.
    WindowsFrontEnd frontEnd(options, SW_SHOWMINNOACTIVE);
    EXPECT_TRUE(frontEnd.CanAsk());
    status = RunProgram(options, frontEnd);
  }
  KillTimer(nullptr, g_user.timer);
  UnhookWindowsHookEx(g_user.hook);
  EXPECT_TRUE(g_user.sawSelectDevice);
  EXPECT_TRUE(g_runOutcome.driveChosen);
  EXPECT_EQ(g_runOutcome.chosenTarget, 3) << "the drive the user picked";
  EXPECT_FALSE(g_runOutcome.downloadAttempted) << "nothing is flashed unless the user clicks";
  EXPECT_EQ(status, ExitStatus(ProgramOutcome::kNotDownloaded));
  EXPECT_TRUE(g_user.mainWindowMinimised);
  // The user closed the window: the program ends with 0, as on the desktop.
  EXPECT_EQ(DesktopExitStatus(options, status), 0);
}

TEST(WindowsFrontEnd, UnderYesNothingIsAsked) {
  ProgramOptions options;
  options.yes = true;
  WindowsFrontEnd frontEnd(options);
  EXPECT_FALSE(frontEnd.CanAsk());
  EXPECT_FALSE(frontEnd.Ask("Download?").has_value());
}

}  // namespace
