// The terminal: what the program prints, and what it asks.
#include "frontends/console/terminal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/printable.h"

namespace qtr5 {
namespace {

class ConsoleTest : public testing::Test {
 protected:
  // Starts the terminal with the given terminal flags and input.
  void Start(bool outputTerminal, bool inputTerminal, const std::string& input = "",
             int columns = 0) {
    console_.reset();
    in_.clear();
    in_.str(input);
    ConsoleOptions options;
    options.out = &out_;
    options.in = &in_;
    options.outputIsTerminal = outputTerminal;
    options.inputIsTerminal = inputTerminal;
    options.barWidth = 10;
    options.terminalColumns = columns;
    console_ = std::make_unique<Terminal>(options);
  }

  // What the run tells the terminal it shows.
  void SetValue(int row, const char* text) {
    const std::vector<std::string> labels = {"Adapter : Target ID", "Check Sum", "Model Name",
                                             "Current F/W Version", "New F/W Version"};
    console_->ShowReportRow(labels, static_cast<std::size_t>(row), text);
  }
  void SetProgress(int position) { console_->ShowProgress(position); }

  std::ostringstream out_;
  std::istringstream in_;
  std::unique_ptr<Terminal> console_;
};

TEST_F(ConsoleTest, StatusLineTextsArePrintedOnceEachAndMadeHarmless) {
  Start(false, false);
  console_->ShowStatus("Open Tray...");
  console_->ShowStatus("Open Tray...");
  console_->ShowStatus("");
  console_->ShowStatus("Ready to Download, select HEX file...");
  console_->ShowStatus("bad\x1b]0;title\x07 C:\\x\x9b");
  EXPECT_EQ(out_.str(),
            "Open Tray...\n"
            "Ready to Download, select HEX file...\n"
            "bad\\x1B]0;title\\x07 C:\\\\x\\x9B\n");
}

TEST_F(ConsoleTest, ReportRowsArePrintedWhenTheirValueChangesWithAlignedValues) {
  Start(false, false);
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

TEST_F(ConsoleTest, NoticesArePrintedWithTheirCaption) {
  Start(false, false, "anything\n");
  console_->ShowNotice("Notice", "Please Reboot system");
  console_->ShowNotice("ZAZADUZ_AUTO", "QTR5_ORNA.HEX file not found.");
  EXPECT_EQ(out_.str(),
            "Notice: Please Reboot system\nZAZADUZ_AUTO: QTR5_ORNA.HEX file not found.\n");
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
  }
}

TEST_F(ConsoleTest, TheProgressLineIsEndedWhenTheConsoleGoes) {
  Start(true, false);
  SetProgress(30);
  console_.reset();
  EXPECT_EQ(out_.str(), "\r[###       ]  30%\n");
}

TEST_F(ConsoleTest, TheImageIsAskedForOnlyOnATerminalAndMustExist) {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "qtr5_console_test.HEX";
  std::ofstream(file) << ":00000001FF\n";
  const char* what = "Firmware file (*.HEX)";

  Start(false, false, file.string() + "\n");
  EXPECT_EQ(console_->AskForFile(what, 259), std::nullopt);
  EXPECT_EQ(in_.tellg(), 0);

  out_.str("");
  Start(false, true, "/no/such/file.HEX\n" + file.string() + "\n");
  EXPECT_EQ(console_->AskForFile(what, 259), file.string());
  EXPECT_EQ(out_.str(),
            "Open Firmware file (*.HEX) (empty line to cancel): File not found: /no/such/file.HEX\n"
            "Open Firmware file (*.HEX) (empty line to cancel): ");
  Start(false, true, "\n");
  EXPECT_EQ(console_->AskForFile(what, 259), std::nullopt) << "an empty line cancels";
  std::filesystem::remove(file);
}

TEST(PrintableText, OnlyPrintableAsciiPassesUnchanged) {
  EXPECT_EQ(PrintableText("XPM-3177K 1.00"), "XPM-3177K 1.00");
  EXPECT_EQ(PrintableText(std::string("A\0B", 3)), "A\\x00B");
  EXPECT_EQ(PrintableText("\r\n\t\x7f\xff\\"), "\\x0D\\x0A\\x09\\x7F\\xFF\\\\");
}

}  // namespace
}  // namespace qtr5
