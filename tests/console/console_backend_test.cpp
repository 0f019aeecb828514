// The console backend: what the program prints, and what it asks.
#include "frontends/console/console_backend.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "resources/program_resources.h"
#include "tests/winui/test_dialog.h"
#include "text/printable.h"

namespace qtr5 {
namespace {

using test::TestProc;

class ConsoleTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterProgramResources(nullptr);
    ResetWindowSystem();
    test::ResetProc();
  }
  void TearDown() override {
    ResetWindowSystem();
    test::ResetProc();
  }

  // Starts the console with the given terminal flags and input, and makes
  // the main window.
  void Start(bool outputTerminal, bool inputTerminal, const std::string& input = "",
             int columns = 0) {
    use_.reset();
    console_.reset();
    in_.clear();
    in_.str(input);
    ConsoleOptions options;
    // The ids of the program's windows, as its terminal front end gives them.
    options.ids = {102, 106, 1007, 1};
    options.out = &out_;
    options.in = &in_;
    options.outputIsTerminal = outputTerminal;
    options.inputIsTerminal = inputTerminal;
    options.barWidth = 10;
    options.terminalColumns = columns;
    console_ = std::make_unique<ConsoleBackend>(options);
    use_ = std::make_unique<ScopedBackend>(*console_);
    main_ = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, TestProc, 0);
    ShowWindow(main_, SW_SHOW);
  }

  void AddReportRows() {
    HWND list = GetDlgItem(main_, 1000);
    for (const char* title : {"Key", "Value"}) {
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT;
      column.pszText = const_cast<char*>(title);
      SendMessageA(list, LVM_INSERTCOLUMNA, 9, reinterpret_cast<LPARAM>(&column));
    }
    const char* labels[] = {"Adapter : Target ID", "Check Sum", "Model Name", "Current F/W Version",
                            "New F/W Version"};
    for (int row = 0; row < 5; ++row) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = const_cast<char*>(labels[row]);
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
  // What the program tells the console the main window shows.
  void SetValue(int row, const char* text) {
    const std::vector<std::string> labels = {"Adapter : Target ID", "Check Sum", "Model Name",
                                             "Current F/W Version", "New F/W Version"};
    console_->ShowReportRow(labels, static_cast<std::size_t>(row), text);
  }
  void SetProgress(int position) { console_->ShowProgress(position); }

  std::ostringstream out_;
  std::istringstream in_;
  std::unique_ptr<ConsoleBackend> console_;
  std::unique_ptr<ScopedBackend> use_;
  HWND main_ = nullptr;
};

TEST_F(ConsoleTest, StatusLineTextsArePrintedOnceEachAndMadeHarmless) {
  Start(false, false);
  console_->ShowStatus("Open Tray...");
  console_->ShowStatus("Open Tray...");
  console_->ShowStatus("");
  console_->ShowStatus("Ready to Download, select HEX file...");
  SetDlgItemTextA(main_, 1002, "QTR5_ORNA.HEX");  // the file name box is not printed
  console_->ShowStatus("bad\x1b]0;title\x07 C:\\x\x9b");
  EXPECT_EQ(out_.str(),
            "Open Tray...\n"
            "Ready to Download, select HEX file...\n"
            "bad\\x1B]0;title\\x07 C:\\\\x\\x9B\n");
}

TEST_F(ConsoleTest, ReportRowsArePrintedWhenTheirValueChangesWithAlignedValues) {
  Start(false, false);
  AddReportRows();
  EXPECT_EQ(out_.str(), "") << "the labels alone are not news";
  SetValue(0, "0 : 1");
  SetValue(2, "PIONEER DVD-ROM XPM-3177K");
  SetValue(3, "1.00");
  SetValue(3, "1.00");
  SetValue(4, "1.10");
  EXPECT_EQ(out_.str(),
            "Adapter : Target ID: 0 : 1\n"
            "Model Name:          PIONEER DVD-ROM XPM-3177K\n"
            "Current F/W Version: 1.00\n"
            "New F/W Version:     1.10\n");
}

TEST_F(ConsoleTest, MessageBoxesArePrintedWithTheirCaptionAndAnsweredAtOnce) {
  Start(false, false, "anything\n");
  EXPECT_EQ(MessageBoxA(main_, "Please Reboot system", "Notice", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(main_, "Go on?", "Question", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(main_, "Go on?", "Question", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(out_.str(), "Notice: Please Reboot system\nQuestion: Go on?\nQuestion: Go on?\n");
  EXPECT_EQ(in_.tellg(), 0) << "nothing was read";
}

TEST_F(ConsoleTest, WithoutATerminalProgressIsAPlainLineAtEachTenPercentStep) {
  Start(false, false);
  for (int position : {0, 3, 9, 10, 10, 25, 99}) SetProgress(position);
  console_->ShowStatus("Download has been done successfully!");
  SetProgress(0);  // a second run of the display starts again
  SetProgress(12);
  EXPECT_EQ(out_.str(),
            "Progress: 0%\nProgress: 10%\nProgress: 20%\nProgress: 90%\n"
            "Download has been done successfully!\n"
            "Progress: 0%\nProgress: 10%\n");
}

TEST_F(ConsoleTest, OnATerminalTheBarIsRedrawnOnlyWhenWhatItShowsChanges) {
  Start(true, false);
  SetProgress(0);
  SetProgress(0);
  SetProgress(50);
  SetDlgItemTextA(main_, 1005, "50%");  // the bar's own text adds nothing
  SetProgress(50);
  SetProgress(99);
  console_->ShowStatus("Download has been done successfully!");
  EXPECT_EQ(out_.str(),
            "\r[          ]   0%"
            "\r[#####     ]  50%"
            "\r[######### ]  99%\n"
            "Download has been done successfully!\n");
}

TEST_F(ConsoleTest, TheBarFitsANarrowTerminal) {
  // A line as wide as the terminal wraps, and every redraw would then start a
  // new line. Widths: the bar of 10 fits 30 columns; 14 columns leave room for
  // a bar of 6; 8 columns for none, so the progress becomes plain lines.
  struct Case {
    int columns;
    const char* shown;
  };
  for (const Case& c : {Case{30, "\r[#####     ]  50%\n"}, Case{14, "\r[###   ]  50%\n"},
                        Case{9, "\r[ ]  50%\n"}, Case{8, "Progress: 50%\n"}}) {
    SCOPED_TRACE(c.columns);
    out_.str("");
    Start(true, false, "", c.columns);
    SetProgress(50);
    console_.reset();
    EXPECT_EQ(out_.str(), c.shown);
    use_.reset();
  }
}

TEST_F(ConsoleTest, TheProgressLineIsEndedWhenTheConsoleGoes) {
  Start(true, false);
  SetProgress(30);
  console_.reset();
  EXPECT_EQ(out_.str(), "\r[###       ]  30%\n");
  use_.reset();
}

// The Select Device dialog of the program: rows from the device table, the
// chosen row (0 when none is selected) as its result.
INT_PTR CALLBACK SelectProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  HWND list = GetDlgItem(window, 1007);
  if (message == WM_INITDIALOG) {
    const char* rows[][2] = {{"DRIVE XPM-3177K", "1.00"}, {"OTHER XPM-3177K", "1.02"}};
    for (int column = 0; column < 2; ++column) {
      LVCOLUMNA c{};
      c.mask = LVCF_TEXT;
      c.pszText = const_cast<char*>(column == 0 ? "Model" : "Version");
      SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&c));
    }
    for (int row = 0; row < 2; ++row) {
      for (int column = 0; column < 2; ++column) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = const_cast<char*>(rows[row][column]);
        SendMessageA(list, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0,
                     reinterpret_cast<LPARAM>(&item));
      }
    }
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    LRESULT row = SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    EndDialog(window, row < 0 ? 100 : row);
    return TRUE;
  }
  return FALSE;
}

TEST_F(ConsoleTest, SelectDeviceWithoutATerminalConfirmsWithNothingSelected) {
  Start(false, false, "2\n");
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main_, SelectProc, 0), 100);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(in_.tellg(), 0) << "nothing was read";
}

TEST_F(ConsoleTest, SelectDeviceOnATerminalIsANumberedChoice) {
  Start(false, true, "x\n3\n2\n");
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main_, SelectProc, 0), 1);
  EXPECT_EQ(out_.str(),
            "Select Device:\n"
            "  1) DRIVE XPM-3177K  1.00\n"
            "  2) OTHER XPM-3177K  1.02\n"
            "Device number (1-2): Please enter a number from 1 to 2.\n"
            "Device number (1-2): Please enter a number from 1 to 2.\n"
            "Device number (1-2): ");
}

TEST_F(ConsoleTest, SelectDeviceAtEndOfInputConfirmsWithNothingSelected) {
  Start(false, true, "");
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(106), main_, SelectProc, 0), 100);
}

TEST_F(ConsoleTest, TheOpenFileDialogAsksOnlyOnATerminalForAnExistingFile) {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "qtr5_console_test.HEX";
  std::ofstream(file) << ":00000001FF\n";
  char path[260] = "";
  OPENFILENAMEA ofn{};
  ofn.lpstrFilter = "Firmware file (*.HEX)\0*.HEX\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.Flags = OFN_FILEMUSTEXIST;

  Start(false, false, file.string() + "\n");
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(in_.tellg(), 0);

  ResetWindowSystem();
  out_.str("");
  Start(false, true, "/no/such/file.HEX\n" + file.string() + "\n");
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_EQ(std::string(path), file.string());
  EXPECT_EQ(out_.str(),
            "Open Firmware file (*.HEX) (empty line to cancel): File not found: /no/such/file.HEX\n"
            "Open Firmware file (*.HEX) (empty line to cancel): ");
  ResetWindowSystem();
  Start(false, true, "\n");
  EXPECT_FALSE(GetOpenFileNameA(&ofn)) << "an empty line cancels";
  std::filesystem::remove(file);
}

TEST_F(ConsoleTest, TheIdleHandlerActsAndTheConsoleClosesTheWindowWhenItIsDone) {
  Start(false, false);
  int idleCalls = 0;
  console_->SetIdleHandler([&] {
    ++idleCalls;
    if (idleCalls > 1) return false;
    return PostClick(GetDlgItem(main_, 8));
  });
  test::g_handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && LOWORD(wParam) == 8) console_->ShowStatus("Cancel!");
    if (message == WM_CLOSE) DestroyWindow(window);
    if (message == WM_DESTROY) PostQuitMessage(0);
    return message != WM_INITDIALOG;
  };
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(main_, &msg)) DispatchMessageA(&msg);
  }
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(idleCalls, 2);
  EXPECT_TRUE(console_->ClosedForLackOfInput());
  EXPECT_FALSE(IsWindow(main_));
  EXPECT_EQ(out_.str(), "Cancel!\n");
}

TEST(PrintableText, OnlyPrintableAsciiPassesUnchanged) {
  EXPECT_EQ(PrintableText("XPM-3177K 1.00"), "XPM-3177K 1.00");
  EXPECT_EQ(PrintableText(std::string("A\0B", 3)), "A\\x00B");
  EXPECT_EQ(PrintableText("\r\n\t\x7f\xff\\"), "\\x0D\\x0A\\x09\\x7F\\xFF\\\\");
}

}  // namespace
}  // namespace qtr5
