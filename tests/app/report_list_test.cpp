// ReportList and the display operations of the main window.
#include <gtest/gtest.h>

#include "app/download_app.h"
#include "app/report_list.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"

namespace {

class DisplayTest : public AppTest {
 protected:
  void SetUp() override {
    AddDrive(0, 0);
    Start();
  }
  HWND List() const { return GetDlgItem(Main(), kIdReport); }
  void Select(int row, bool selected) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
  }
};

TEST_F(DisplayTest, MainReportHasTwoColumnsAndFiveLabelledRows) {
  const auto columns = driver_.Columns(Main(), kIdReport);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].title, "Key");
  EXPECT_EQ(columns[1].title, "Value");
  RECT outer{};
  GetWindowRect(List(), &outer);
  EXPECT_EQ(columns[0].width, 120);
  EXPECT_EQ(columns[1].width, (outer.right - outer.left) - 125);
  const auto rows = driver_.Rows(Main(), kIdReport);
  ASSERT_EQ(rows.size(), 5u);
  const char* labels[] = {"Adapter : Target ID", "Check Sum", "Model Name", "Current F/W Version",
                          "New F/W Version"};
  for (int row = 0; row < 5; ++row) EXPECT_EQ(rows[row][0], labels[row]) << row;
  EXPECT_EQ(app_->reportList->rowCount, 5);
  EXPECT_EQ(app_->reportList->columnCount, 2);
}

TEST_F(DisplayTest, StartUpDecorationsIconPicturesAndProgressRange) {
  EXPECT_EQ(qtr5::IconResourceId(Main(), ICON_SMALL), kIconApp);
  EXPECT_EQ(driver_.Picture(Main(), kIdBrowse), kBitmapBrowse);
  EXPECT_EQ(driver_.PictureHistory(Main(), kIdPicture).front(), kBitmapLogo);
  const qtr5::ProgressState range = driver_.ProgressRange(Main(), kIdProgress);
  EXPECT_EQ(range.low, 0);
  EXPECT_EQ(range.high, 100);
  // The system-modal template makes the window topmost; start-up undoes it.
  EXPECT_FALSE(qtr5::IsTopmostWindow(Main()));
  EXPECT_TRUE(driver_.Visible(Main()));
}

TEST_F(DisplayTest, ShowTextWritesOnlyTheValueColumnOrTheWholeControl) {
  app_->ShowText(1, "ABCD");
  EXPECT_EQ(driver_.Cell(Main(), kIdReport, 1, 0), "Check Sum");
  EXPECT_EQ(Row(1), "ABCD");
  app_->ShowText(kIdStatus, "something");
  EXPECT_EQ(Status(), "something");
  app_->ShowText(kIdStatus, "");
  EXPECT_EQ(Status(), "");
  // Longer than the copy buffer: cut, never written past it.
  const std::string longText(400, 'x');
  app_->ShowText(4, longText.c_str());
  EXPECT_EQ(Row(4), std::string(259, 'x'));
}

TEST_F(DisplayTest, BusyPictureAlternatesStartingWithWait) {
  g_pictureToggle = 0;
  const std::size_t before = driver_.PictureHistory(Main(), kIdPicture).size();
  for (int i = 0; i < 4; ++i) app_->ToggleBusyPicture();
  const auto history = driver_.PictureHistory(Main(), kIdPicture);
  ASSERT_EQ(history.size(), before + 4);
  EXPECT_EQ(std::vector<int>(history.begin() + static_cast<long>(before), history.end()),
            (std::vector<int>{kBitmapWait, kBitmapLogo, kBitmapWait, kBitmapLogo}));
  // The counter wraps at 256 and keeps alternating.
  g_pictureToggle = 255;
  app_->ToggleBusyPicture();
  EXPECT_EQ(Picture(), kBitmapLogo);
}

TEST_F(DisplayTest, StatePictureIsRepaintedAtOnceAndTheOldOneReleased) {
  HWND button = GetDlgItem(Main(), kIdPicture);
  const int before = driver_.RepaintCount(button);
  const auto old = reinterpret_cast<HGDIOBJ>(SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_EQ(qtr5::ResourceIdOfHandle(old), kBitmapLogo);
  app_->SetStatePicture(kBitmapNg);
  EXPECT_EQ(Picture(), kBitmapNg);
  EXPECT_GT(driver_.RepaintCount(button), before);
  EXPECT_EQ(qtr5::ResourceIdOfHandle(old), 0);
  const auto shown = reinterpret_cast<HGDIOBJ>(SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0));
  EXPECT_EQ(qtr5::ResourceIdOfHandle(shown), kBitmapNg);
}

TEST_F(DisplayTest, ProgressSetsPositionAndPercentText) {
  app_->SetProgress(37);
  EXPECT_EQ(driver_.Progress(Main(), kIdProgress), 37);
  EXPECT_EQ(driver_.Text(Main(), kIdProgress), "37%");
}

TEST_F(DisplayTest, AddColumnAppendsOrRenames) {
  ReportList list(Main(), List());
  list.columnCount = 2;  // the columns the main report already has
  list.AddColumn("Extra", -1);
  EXPECT_EQ(list.columnCount, 3);
  auto columns = driver_.Columns(Main(), kIdReport);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[2].title, "Extra");
  EXPECT_EQ(columns[2].width, 75);
  list.AddColumn("Renamed", 0);
  EXPECT_EQ(list.columnCount, 3);
  columns = driver_.Columns(Main(), kIdReport);
  EXPECT_EQ(columns[0].title, "Renamed");
  EXPECT_EQ(columns[0].width, 105);
}

TEST_F(DisplayTest, SelectedRowIsTheLowestSelectedOrMinusOne) {
  ReportList* list = app_->reportList;
  EXPECT_EQ(list->GetSelectedRow(), -1);
  Select(3, true);
  EXPECT_EQ(list->GetSelectedRow(), 3);
  Select(1, true);
  EXPECT_EQ(list->GetSelectedRow(), 1);
  Select(1, false);
  Select(3, false);
  Select(4, true);
  EXPECT_EQ(list->GetSelectedRow(), 4);
}

}  // namespace
