// Running by itself: message boxes answered with their default button, and
// what the window shows echoed as lines.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/window_watcher.h"
#include "frontends/windows/automation_hooks.h"
#include "resources/resource_ids.h"

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

TEST_F(AutomationHooksTest, TheMainWindowsChangesAreEchoedAsTheConsoleShowsThem) {
  HWND main = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogMain), nullptr,
                                 IgnoreAll, 0);
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(IsMessageBoxWindow(main)) << "the main window is never answered";
  // The Release Note dialog has statics too, but is no message box.
  HWND note = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogReleaseNote),
                                 main, IgnoreAll, 0);
  ASSERT_NE(note, nullptr);
  EXPECT_FALSE(IsMessageBoxWindow(note));
  DestroyWindow(note);
  DestroyWindow(main);

  // What the application tells the echo the main window shows.
  WindowWatcher* echo = AutomationEcho();
  ASSERT_NE(echo, nullptr);
  echo->StatusShown("Fail to Initialize ASPI !");
  echo->StatusShown("Fail to Initialize ASPI !");  // unchanged: not again
  echo->ReportRowShown(2, "QTR5    CD-ROM XPM-3177K");
  echo->ReportRowShown(2, "QTR5    CD-ROM XPM-3177K");  // unchanged: not again
  echo->ReportRowShown(1, "CE78");
  for (int percent : {0, 5, 10, 35, 36, 100, 0}) echo->ProgressShown(percent);
  echo->StatusShown("Fail to Find Device");
  const std::vector<std::string> expected{
      "Fail to Initialize ASPI !",
      "Model Name:          QTR5    CD-ROM XPM-3177K",
      "Check Sum:           CE78",
      "Progress: 0%",
      "Progress: 10%",
      "Progress: 30%",
      "Progress: 100%",
      "Progress: 0%",  // a new run of the progress display
      "Fail to Find Device",
  };
  EXPECT_EQ(lines_, expected);
  StopAutomationHooks();
  EXPECT_EQ(AutomationEcho(), nullptr) << "no echo without the hooks";
}

bool stillOpen = false;

// A timer procedure (stdcall in a 32-bit program, which a lambda is not).
void CALLBACK AnswerUnanswered(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND box = FindWindowA("#32770", "Unanswered");
  stillOpen = box != nullptr;
  if (box != nullptr) PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

TEST(AutomationHooksOff, NothingIsAnsweredWithoutTheHooks) {
  // A box nobody answers would wait forever; a timer answers this one after
  // checking that it is still open.
  const UINT_PTR timer = SetTimer(nullptr, 0, 300, AnswerUnanswered);
  ASSERT_NE(timer, 0u);
  MessageBoxA(nullptr, "text", "Unanswered", MB_OKCANCEL);
  EXPECT_TRUE(stillOpen);
}

}  // namespace
