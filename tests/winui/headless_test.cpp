// The headless driver: acting as the user, scripted answers, reading back,
// and never blocking when the script runs out.
#include "tests/support/headless/headless.h"

#include <gtest/gtest.h>

#include <cstring>

#include "resources/program_resources.h"
#include "test_dialog.h"

namespace qtr5 {
namespace {

using test::Commands;
using test::TestProc;

class HeadlessTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterProgramResources(nullptr);
    test::ResetProc();
    main_ = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, TestProc, 0);
    ShowWindow(main_, SW_SHOW);
  }
  void TearDown() override { test::ResetProc(); }

  HeadlessDriver driver_;
  HWND main_ = nullptr;
};

TEST_F(HeadlessTest, ClicksReachOnlyEnabledButtonsOfEnabledVisibleDialogs) {
  EXPECT_FALSE(driver_.Click(main_, 1)) << "Download starts disabled";
  EXPECT_TRUE(driver_.Click(main_, 8));
  EXPECT_FALSE(driver_.Click(main_, 1001)) << "a static is not a button";
  EXPECT_FALSE(driver_.Click(main_, 4242));
  ShowWindow(main_, SW_HIDE);
  EXPECT_FALSE(driver_.Click(main_, 8)) << "a hidden window cannot be clicked";
  ShowWindow(main_, SW_SHOW);
  EnableWindow(main_, FALSE);
  EXPECT_FALSE(driver_.Click(main_, 8));
  EXPECT_FALSE(driver_.Close(main_));
  EXPECT_FALSE(driver_.PressEnter(main_));
  std::vector<std::pair<int, int>> expected{{8, BN_CLICKED}};
  EXPECT_EQ(Commands(), expected);
}

TEST_F(HeadlessTest, AButtonDisabledAfterTheClickWasQueuedIgnoresIt) {
  // The click is posted by a step; before the loop gets it, the button is disabled.
  driver_.Then([&](HeadlessDriver& driver) {
    EXPECT_TRUE(driver.Click(main_, 8));
    EXPECT_TRUE(Commands().empty()) << "inside the loop an action is only queued";
    EnableWindow(GetDlgItem(main_, 8), FALSE);
  });
  driver_.Then([](HeadlessDriver&) { PostQuitMessage(0); });
  EXPECT_EQ(driver_.RunMessageLoop(main_), 0);
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(driver_.ScriptExhausted());
}

TEST_F(HeadlessTest, UnscriptedInputClosesTheActiveDialogAndIsReported) {
  test::g_handler = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_CLOSE) DestroyWindow(window);
    if (message == WM_DESTROY) PostQuitMessage(0);
    return message == WM_CLOSE || message == WM_DESTROY;
  };
  EXPECT_EQ(driver_.RunMessageLoop(main_), 0);
  ASSERT_EQ(driver_.UnscriptedWaits().size(), 1u);
  EXPECT_NE(driver_.UnscriptedWaits()[0].find("102"), std::string::npos);
  EXPECT_FALSE(QuitWasForced());
}

TEST_F(HeadlessTest, ADialogThatWillNotCloseEndsInAForcedQuit) {
  test::g_handler = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    return message == WM_CLOSE;  // ignores the close box
  };
  EXPECT_EQ(driver_.RunMessageLoop(main_), static_cast<int>(kQuitNoInput));
  EXPECT_TRUE(QuitWasForced());
  EXPECT_EQ(driver_.UnscriptedWaits().size(), 3u);
  EXPECT_TRUE(IsWindow(main_));
}

TEST_F(HeadlessTest, MessageBoxesAreAnsweredAsScriptedAndRecorded) {
  driver_.AnswerMessageBox(IDCANCEL);
  EXPECT_EQ(MessageBoxA(main_, "QTR5_ORNA.HEX file not found.", "ZAZADUZ_AUTO", MB_ICONERROR),
            IDCANCEL);
  EXPECT_EQ(MessageBoxA(main_, "Please Reboot system", "Notice", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x4444), "x", "y", MB_OK), 0)
      << "an owner that is not a window";
  ASSERT_EQ(driver_.MessageBoxes().size(), 2u);
  const ShownMessageBox& first = driver_.MessageBoxes()[0];
  EXPECT_EQ(first.owner, main_);
  EXPECT_EQ(first.text, "QTR5_ORNA.HEX file not found.");
  EXPECT_EQ(first.caption, "ZAZADUZ_AUTO");
  EXPECT_EQ(first.Icon(), static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(first.answer, IDCANCEL);
  EXPECT_EQ(driver_.MessageBoxes()[1].Buttons(), static_cast<UINT>(MB_OK));
}

TEST_F(HeadlessTest, OpenFileDialogAnswersFillTheCallersBuffer) {
  char path[16] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = main_;
  ofn.lpstrFilter = "Firmware file (*.HEX)\0*.HEX\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.Flags = OFN_FILEMUSTEXIST;
  driver_.AnswerOpenFile("/fw/NEW.HEX");
  driver_.AnswerOpenFile(std::nullopt);
  driver_.AnswerOpenFile("/a/path/that/is/too/long.HEX");
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_STREQ(path, "/fw/NEW.HEX");
  EXPECT_EQ(ofn.nFileOffset, 4);
  EXPECT_EQ(ofn.nFileExtension, 8);
  EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "cancelled";
  EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "does not fit the buffer";
  EXPECT_STREQ(path, "/fw/NEW.HEX") << "a failed call leaves the buffer alone";
  EXPECT_TRUE(driver_.UnscriptedWaits().empty());
  EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "nothing scripted: cancelled";
  EXPECT_EQ(driver_.UnscriptedWaits().size(), 1u);

  ASSERT_EQ(driver_.OpenFileRequests().size(), 4u);
  const OpenFileRequest& request = driver_.OpenFileRequests()[0];
  EXPECT_EQ(request.owner, main_);
  ASSERT_EQ(request.filters.size(), 1u);
  EXPECT_EQ(request.filters[0].description, "Firmware file (*.HEX)");
  EXPECT_EQ(request.filters[0].patterns, "*.HEX");
  EXPECT_EQ(request.maxPathLength, 15u);
  EXPECT_EQ(request.flags & OFN_FILEMUSTEXIST, static_cast<DWORD>(OFN_FILEMUSTEXIST));
  EXPECT_EQ(driver_.OpenFileRequests()[1].initialPath, "/fw/NEW.HEX");
}

// The Select Device dialog as the program uses it: two rows, chosen row as result.
INT_PTR CALLBACK ChooseRowProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  HWND list = GetDlgItem(window, 1007);
  if (message == WM_INITDIALOG) {
    for (const char* model : {"DRIVE A", "DRIVE B"}) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
      item.pszText = const_cast<char*>(model);
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    return TRUE;
  }
  if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDOK)) {
    LRESULT row = SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    EndDialog(window, row < 0 ? 0 : row);
    return TRUE;
  }
  return FALSE;
}

TEST_F(HeadlessTest, ModalDialogsAreAnsweredByTemplateInOrder) {
  driver_.AnswerDialog(106, [](HeadlessDriver& driver, HWND dialog) {
    EXPECT_EQ(driver.Rows(dialog, 1007).size(), 2u);
    EXPECT_TRUE(driver.SelectRow(dialog, 1007, 1));
    EXPECT_FALSE(driver.SelectRow(dialog, 1007, 2));
    driver.Click(dialog, 1);
  });
  driver_.AnswerDialog(106, [](HeadlessDriver& driver, HWND dialog) {
    driver.SelectRow(dialog, 1007, 1);
    driver.PressEscape(dialog);  // ignored by the dialog: it stays up
    driver.Close(dialog);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main_, ChooseRowProc, 0), 1);
  HWND first = driver_.Dialogs().back().handle;
  EXPECT_TRUE(driver_.Dialogs().back().modal);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main_, ChooseRowProc, 0), 1);
  // Unanswered: the driver closes it, which chooses row 0 here.
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main_, ChooseRowProc, 0), 0);
  EXPECT_EQ(driver_.UnscriptedWaits().size(), 1u);
  EXPECT_EQ(driver_.ModalCount(106), 3);
  // The rows of a dialog that is gone can still be read.
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(driver_.Cell(first, 1007, 1, 0), "DRIVE B");
  EXPECT_EQ(driver_.SelectedRows(first, 1007), (std::vector<int>{1}));
}

TEST_F(HeadlessTest, HistoriesKeepEveryValueAndOutliveTheWindow) {
  SetDlgItemTextA(main_, 1001, "Open Tray...");
  SetDlgItemTextA(main_, 1001, "Open Tray...");
  SetDlgItemTextA(main_, 1001, "Ready to Download, select HEX file...");
  EnableWindow(GetDlgItem(main_, 1004), FALSE);
  EnableWindow(GetDlgItem(main_, 1004), TRUE);
  UpdateWindow(GetDlgItem(main_, 1017));
  UpdateWindow(GetDlgItem(main_, 1017));
  EXPECT_EQ(driver_.RepaintCount(GetDlgItem(main_, 1017)), 2);
  EXPECT_EQ(driver_.RepaintCount(), 2);
  DestroyWindow(main_);
  std::vector<std::string> texts{"Message", "Open Tray...", "Open Tray...",
                                 "Ready to Download, select HEX file..."};
  EXPECT_EQ(driver_.TextHistory(main_, 1001), texts);
  EXPECT_EQ(driver_.Text(main_, 1001), "Ready to Download, select HEX file...");
  EXPECT_EQ(driver_.EnabledHistory(main_, 1004), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(driver_.EnabledHistory(main_, 1), (std::vector<bool>{false}));
  EXPECT_FALSE(driver_.Enabled(main_, 1));
  EXPECT_EQ(driver_.FindDialog(102), nullptr);
  EXPECT_TRUE(driver_.TextHistory(main_, 4242).empty());
}

TEST(HeadlessInstall, TheDriverRestoresThePreviousBackend) {
  Backend* before = &CurrentBackend();
  {
    HeadlessDriver outer;
    EXPECT_EQ(&CurrentBackend(), &outer);
    {
      HeadlessDriver inner;
      EXPECT_EQ(&CurrentBackend(), &inner);
      inner.Uninstall();
      EXPECT_EQ(&CurrentBackend(), &outer);
      inner.Install();
    }
    EXPECT_EQ(&CurrentBackend(), &outer);
    RegisterProgramResources(nullptr);
    CreateDialogParamA(nullptr, MAKEINTRESOURCEA(105), nullptr, nullptr, 0);
  }
  EXPECT_EQ(&CurrentBackend(), before);
  EXPECT_TRUE(TopLevelWindows().empty()) << "the driver leaves no window behind";
}

}  // namespace
}  // namespace qtr5
