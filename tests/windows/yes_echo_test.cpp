// The echo of --yes: what the window shows and the session's notices, as
// lines in the terminal program's words.
#include "frontends/windows/yes_echo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/window_watcher.h"

namespace {

TEST(YesEcho, TheWindowsChangesAndTheNoticesAreEchoedAsTheConsoleShowsThem) {
  std::vector<std::string> lines;
  StartYesEcho([&lines](const char* line) { lines.push_back(line); });
  WindowWatcher* echo = YesEcho();
  ASSERT_NE(echo, nullptr);
  echo->StatusShown("Fail to Initialize ASPI !");
  echo->StatusShown("Fail to Initialize ASPI !");  // unchanged: not again
  echo->ReportRowShown(2, "QTR5    CD-ROM XPM-3177K");
  echo->ReportRowShown(2, "QTR5    CD-ROM XPM-3177K");  // unchanged: not again
  echo->ReportRowShown(1, "CE78");
  for (int percent : {0, 5, 10, 35, 36, 100, 0}) echo->ProgressShown(percent);
  echo->StatusShown("Fail to Find Device");
  EchoNotice("Notice", "Please Reboot system");
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
      "Notice: Please Reboot system",
  };
  EXPECT_EQ(lines, expected);
  StopYesEcho();
  EXPECT_EQ(YesEcho(), nullptr) << "no echo once stopped";
}

}  // namespace
