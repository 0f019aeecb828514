// Dialogs and the message loop: creation, modal dialogs, the dialog keyboard
// handling, destruction and quitting.
#include <gtest/gtest.h>

#include "resources/program_resources.h"
#include "test_dialog.h"
#include "tests/support/headless/headless.h"

namespace qtr5 {
namespace {

using test::Commands;
using test::CountOf;
using test::TestProc;

class DialogsTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterProgramResources(nullptr);
    test::ResetProc();
  }
  void TearDown() override { test::ResetProc(); }

  HWND CreateMain() {
    HWND main = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, TestProc, 0);
    ShowWindow(main, SW_SHOW);
    return main;
  }

  HeadlessDriver driver_;
};

TEST_F(DialogsTest, InitDialogRunsInsideCreationWithTheControlsInPlace) {
  bool sawControls = false;
  test::g_handler = [&](HWND window, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      sawControls = GetDlgItem(window, 1002) != nullptr && lParam == 77;
      EnableWindow(GetDlgItem(window, 1004), FALSE);
      return TRUE;
    }
    return FALSE;
  };
  HWND main = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, TestProc, 77);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(sawControls);
  EXPECT_EQ(CountOf(WM_INITDIALOG), 1);
  EXPECT_FALSE(IsWindowVisible(main)) << "the main window waits for ShowWindow";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, 1004)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, 1))) << "Download is disabled by its template";

  test::g_received.clear();
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, TestProc, 0), nullptr);
  // Templates belong to the module they are registered for.
  EXPECT_EQ(CreateDialogParamA(reinterpret_cast<HINSTANCE>(0x4000), MAKEINTRESOURCEA(102), nullptr,
                               TestProc, 0),
            nullptr);
  EXPECT_EQ(CreateDialogParamA(nullptr, "NOT_A_TEMPLATE", nullptr, TestProc, 0), nullptr);
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(105), reinterpret_cast<HWND>(0x99999),
                               TestProc, 0),
            nullptr);
  EXPECT_TRUE(test::g_received.empty());
}

TEST_F(DialogsTest, ModalDialogDisablesItsOwnerAndReturnsTheEndResult) {
  HWND main = CreateMain();
  bool ownerDisabledWhileUp = false;
  test::g_handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && window != main) {
      EndDialog(window, 7);
      return TRUE;
    }
    return message == WM_INITDIALOG;
  };
  driver_.AnswerDialog(105, [&](HeadlessDriver& driver, HWND dialog) {
    ownerDisabledWhileUp = !IsWindowEnabled(main) && IsWindowVisible(dialog);
    EXPECT_FALSE(driver.Click(main, 8)) << "the owner takes no input while the dialog is up";
    EXPECT_TRUE(driver.Click(dialog, 1));
  });
  HWND dialogSeen = nullptr;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(105), main, TestProc, 0), 7);
  EXPECT_TRUE(ownerDisabledWhileUp);
  EXPECT_TRUE(IsWindowEnabled(main));
  dialogSeen = driver_.Dialogs().back().handle;
  EXPECT_FALSE(IsWindow(dialogSeen)) << "a modal dialog is gone when DialogBox returns";
  EXPECT_EQ(CountOf(WM_DESTROY), 1);
  EXPECT_EQ(driver_.ModalCount(105), 1);
  EXPECT_TRUE(driver_.UnscriptedWaits().empty());

  // An owner that was disabled before stays disabled afterwards.
  EnableWindow(main, FALSE);
  driver_.AnswerDialog(105, [](HeadlessDriver& driver, HWND dialog) { driver.Click(dialog, 1); });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(105), main, TestProc, 0), 7);
  EXPECT_FALSE(IsWindowEnabled(main));
}

TEST_F(DialogsTest, ModalDialogEdgeCases) {
  HWND main = CreateMain();
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(103), main, TestProc, 0), -1)
      << "a dialog that cannot be created";
  test::g_handler = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) EndDialog(window, 3);
    return TRUE;
  };
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main, TestProc, 0), 3);
  EXPECT_EQ(driver_.ModalCount(106), 0) << "ended before its loop started";
  EXPECT_TRUE(IsWindowEnabled(main));

  // Destroyed instead of ended: the loop stops and reports failure.
  test::g_handler = [](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) DestroyWindow(window);
    return TRUE;
  };
  driver_.AnswerDialog(106, [](HeadlessDriver& driver, HWND dialog) { driver.PressEnter(dialog); });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main, TestProc, 0), -1);
  EXPECT_TRUE(IsWindowEnabled(main));
}

TEST_F(DialogsTest, EnterPressesTheEnabledDefaultButtonAndEscapeSendsCancel) {
  HWND main = CreateMain();
  test::g_handler = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return TRUE; };
  EXPECT_TRUE(driver_.PressEnter(main));
  EXPECT_TRUE(Commands().empty()) << "Download is the default button and is disabled";
  EnableWindow(GetDlgItem(main, 1), TRUE);
  EXPECT_TRUE(driver_.PressEnter(main));
  EXPECT_TRUE(driver_.PressEscape(main));
  std::vector<std::pair<int, int>> expected{{1, BN_CLICKED}, {IDCANCEL, BN_CLICKED}};
  EXPECT_EQ(Commands(), expected);

  // Keys in a control reach the dialog's handling too; other keys are not handled.
  MSG key{GetDlgItem(main, 1002), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
  test::g_received.clear();
  EXPECT_TRUE(IsDialogMessageA(main, &key));
  EXPECT_EQ(Commands().size(), 1u);
  MSG letter{main, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
  EXPECT_FALSE(IsDialogMessageA(main, &letter));
  MSG close{main, WM_CLOSE, 0, 0, 0, {0, 0}};
  EXPECT_FALSE(IsDialogMessageA(main, &close));
  HWND other = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(105), nullptr, TestProc, 0);
  MSG elsewhere{other, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
  EXPECT_FALSE(IsDialogMessageA(main, &elsewhere)) << "a key for another dialog";
  // Without a default push button Enter means IDOK.
  DestroyWindow(GetDlgItem(main, 1));
  test::g_received.clear();
  EXPECT_TRUE(IsDialogMessageA(main, &key));
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_EQ(Commands()[0], std::make_pair(IDOK, static_cast<int>(BN_CLICKED)));
  EXPECT_EQ(test::g_received.back().lParam, 0);
  // A disabled dialog swallows the key.
  EnableWindow(main, FALSE);
  test::g_received.clear();
  EXPECT_TRUE(IsDialogMessageA(main, &key));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(DialogsTest, ClosingTheDialogDestroysItAndTheQuitEndsTheLoop) {
  HWND main = CreateMain();
  std::vector<HWND> destroyed;
  test::g_handler = [&](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    switch (message) {
      case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
      case WM_DESTROY:
        destroyed.push_back(window);
        if (window == main) PostQuitMessage(0);
        return TRUE;
      default:
        return FALSE;
    }
  };
  // A modeless dialog owned by the main window goes first.
  HWND owned = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(105), main, TestProc, 0);
  PostMessageA(main, WM_USER + 5, 0, 0);
  driver_.Then([&](HeadlessDriver& driver) { driver.Close(main); });
  EXPECT_EQ(driver_.RunMessageLoop(main), 0);
  EXPECT_EQ(destroyed, (std::vector<HWND>{owned, main}));
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(CountOf(WM_USER + 5), 1) << "messages posted before the quit are delivered";
  EXPECT_TRUE(driver_.UnscriptedWaits().empty());
  EXPECT_FALSE(QuitWasForced());
}

TEST_F(DialogsTest, QuitComesAfterThePostedMessagesAndCarriesItsCode) {
  HWND main = CreateMain();
  PostQuitMessage(3);
  PostMessageA(main, WM_USER + 1, 0, 0);
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
}

TEST_F(DialogsTest, AQuitInsideAModalDialogEndsItAndReachesTheOuterLoop) {
  HWND main = CreateMain();
  test::g_handler = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    return message == WM_INITDIALOG;
  };
  driver_.Then([](HeadlessDriver&) { PostQuitMessage(5); });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(105), main, TestProc, 0), -1);
  EXPECT_TRUE(IsWindowEnabled(main));
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 5u);
}

TEST(MessageLoopWithoutInput, NeverWaitsForever) {
  ResetWindowSystem();
  InstallBackend(nullptr);  // the silent backend: no input will ever come
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, kQuitNoInput);
  EXPECT_TRUE(QuitWasForced());
  EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_OK), IDOK);
  ResetWindowSystem();
  EXPECT_FALSE(QuitWasForced());
}

// A backend that claims input but never posts any.
class ClaimingBackend : public HeadlessDriver {
 public:
  bool WaitForInput() override {
    ++waits;
    return true;
  }
  int waits = 0;
};

TEST(MessageLoopWithoutInput, ABackendThatNeverPostsCannotHangTheLoop) {
  ClaimingBackend backend;
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, kQuitNoInput);
  EXPECT_GT(backend.waits, 1);
}

}  // namespace
}  // namespace qtr5
