// Running by itself: message boxes answered with their default button, and
// what the window shows echoed as lines.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "app/windows/automation_hooks.h"

namespace {

class AutomationHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCommonControls();
    StartAutomationHooks([this](const char* line) { lines_.push_back(line); });
  }
  void TearDown() override { StopAutomationHooks(); }
  std::vector<std::string> lines_;
};

TEST_F(AutomationHooksTest, MessageBoxesAreAnsweredWithTheirDefaultButton) {
  EXPECT_EQ(MessageBoxA(nullptr, "Please Reboot system", "Notice", MB_OK), IDOK);
  EXPECT_EQ(
      MessageBoxA(nullptr, "QTR5_ORNA.HEX file not found.", "ZAZADUZ_AUTO", MB_OK | MB_ICONERROR),
      IDOK);
  // Not simply "OK": the button the box itself makes the default.
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Question", MB_YESNO | MB_DEFBUTTON2), IDNO);
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0], "Notice: Please Reboot system");
  EXPECT_EQ(lines_[1], "ZAZADUZ_AUTO: QTR5_ORNA.HEX file not found.");
  EXPECT_EQ(lines_[2], "Question: Go on?");
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

TEST_F(AutomationHooksTest, StatusLineChangesOfTheMainWindowAreEchoedOnce) {
  HWND main = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogMain), nullptr,
                                 IgnoreAll, 0);
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(IsMessageBoxWindow(main)) << "the main window is never answered";
  SetDlgItemTextA(main, kIdStatus, "Fail to Initialize ASPI !");
  SetDlgItemTextA(main, kIdStatus, "Fail to Initialize ASPI !");
  SetDlgItemTextA(main, kIdStatus, "Fail to Find Device");
  SetDlgItemTextA(main, kIdFileName, "QTR5_ORNA.HEX");  // not the status line
  // The Release Note dialog has statics too, but no status line.
  HWND note = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogReleaseNote),
                                 main, IgnoreAll, 0);
  ASSERT_NE(note, nullptr);
  EXPECT_FALSE(IsMessageBoxWindow(note));
  SetWindowTextA(GetDlgItem(note, kIdReleaseNoteOk), "Fail");
  DestroyWindow(note);
  DestroyWindow(main);
  const std::vector<std::string> expected{"Fail to Initialize ASPI !", "Fail to Find Device"};
  EXPECT_EQ(lines_, expected);
}

TEST(AutomationHooksOff, NothingIsAnsweredWithoutTheHooks) {
  // A box nobody answers would wait forever; a timer answers this one after
  // checking that it is still open.
  static bool stillOpen = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND box = FindWindowA("#32770", "Unanswered");
    stillOpen = box != nullptr;
    if (box != nullptr) PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
  });
  ASSERT_NE(timer, 0u);
  MessageBoxA(nullptr, "text", "Unanswered", MB_OKCANCEL);
  EXPECT_TRUE(stillOpen);
}

}  // namespace
