// The Select Device dialog: several drives, every way out of it.
#include <gtest/gtest.h>

#include "app/report_list.h"
#include "app/run_context.h"
#include "app/select_device.h"
#include "discovery/device_table.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"

namespace {

constexpr std::uint8_t kStartStopUnit = 0x1B;

class SelectDeviceTest : public AppTest {
 protected:
  // Two drives, found in the order 0:3 ("1.01"), then 1:0 ("1.02").
  void TwoDrives() {
    AddDrive(1, 0, "1.02");
    AddDrive(0, 3, "1.01");
  }
  void ExpectChosen(int adapter, int target, const char* revision) {
    char address[16];
    std::snprintf(address, sizeof address, "%d : %d", adapter, target);
    EXPECT_EQ(Row(0), address);
    EXPECT_EQ(Row(3), revision);
    EXPECT_EQ(CountTo(static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
                      kStartStopUnit),
              1);
    EXPECT_EQ(CountTo(0, 3, kStartStopUnit) + CountTo(1, 0, kStartStopUnit), 1);
    EXPECT_EQ(g_selectList, nullptr);
  }
  void ExpectNoneChosen() {
    EXPECT_EQ(Row(0), "");
    EXPECT_EQ(CountTo(0, 3, kStartStopUnit) + CountTo(1, 0, kStartStopUnit), 0);
    EXPECT_FALSE(app_->device.HasTarget());
    EXPECT_EQ(Status(), "No drive chosen: press Retry to choose");
    EXPECT_EQ(driver_.Text(Main(), kIdDownload), "&Retry");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Main(), kIdDownload)));
    EXPECT_EQ(g_selectList, nullptr);
  }
};

TEST_F(SelectDeviceTest, ListsTheDrivesInSweepOrderWithTheirAddressesInView) {
  // Same model and revision: only the address tells them apart.
  AddDrive(1, 0, "1.01");
  AddDrive(0, 3, "1.01");
  std::vector<std::vector<std::string>> rows;
  std::vector<qtr5::ListColumnInfo> columns;
  std::vector<int> selected{-2};
  HWND owner = nullptr;
  int listWidth = 0;
  driver_.AnswerDialog(kDialogSelectDevice, [&](qtr5::HeadlessDriver& d, HWND dialog) {
    rows = d.Rows(dialog, kIdDeviceList);
    columns = d.Columns(dialog, kIdDeviceList);
    selected = d.SelectedRows(dialog, kIdDeviceList);
    owner = qtr5::OwnerOf(dialog);
    RECT rectangle{};
    GetWindowRect(GetDlgItem(dialog, kIdDeviceList), &rectangle);
    listWidth = rectangle.right - rectangle.left;
    EXPECT_NE(g_selectList, nullptr);
    d.Click(dialog, kIdSelectOk);
  });
  Start();
  const std::string model(kDriveModel);
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{model, "1.01", "0 : 3"},
                                                         {model, "1.01", "1 : 0"}}));
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0].title, "Model");
  EXPECT_EQ(columns[1].title, "Version");
  EXPECT_EQ(columns[2].title, "Adapter : Target");
  // Every column fits the list: the address needs no scrolling to be seen.
  EXPECT_GE(columns[2].width, 100);
  EXPECT_LE(columns[0].width + columns[1].width + columns[2].width, listWidth);
  EXPECT_TRUE(selected.empty());
  EXPECT_EQ(owner, Main());
}

enum class Exit { kOk, kEnter, kCancel, kClose, kEscape };

struct ExitCase {
  const char* name;
  int selectRow;  // -1: nothing selected
  Exit exit;
  int chosenAdapter;  // -1: no drive chosen
  int chosenTarget;
  const char* revision;
};

class SelectDeviceExitTest : public SelectDeviceTest,
                             public ::testing::WithParamInterface<ExitCase> {};

// OK and Enter take the selected row (the first without one); Cancel, the
// close box and Esc choose no drive: nothing is sent, the window says so and
// offers to scan again.
TEST_P(SelectDeviceExitTest, OkChoosesTheSelectedRowOrTheFirstAndEveryOtherWayOutNone) {
  TwoDrives();
  const ExitCase c = GetParam();
  driver_.AnswerDialog(kDialogSelectDevice, [c](qtr5::HeadlessDriver& d, HWND dialog) {
    if (c.selectRow >= 0) d.SelectRow(dialog, kIdDeviceList, c.selectRow);
    switch (c.exit) {
      case Exit::kOk:
        d.Click(dialog, kIdSelectOk);
        break;
      case Exit::kEnter:
        d.PressEnter(dialog);
        break;
      case Exit::kCancel:
        d.Click(dialog, kIdSelectCancel);
        break;
      case Exit::kClose:
        d.Close(dialog);
        break;
      case Exit::kEscape:
        d.PressEscape(dialog);
        break;
    }
  });
  Start();
  if (c.chosenAdapter >= 0) {
    ExpectChosen(c.chosenAdapter, c.chosenTarget, c.revision);
  } else {
    ExpectNoneChosen();
  }
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 1);
  EXPECT_TRUE(driver_.UnscriptedWaits().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Exits, SelectDeviceExitTest,
    ::testing::Values(ExitCase{"OkWithoutSelection", -1, Exit::kOk, 0, 3, "1.01"},
                      ExitCase{"OkWithSecond", 1, Exit::kOk, 1, 0, "1.02"},
                      ExitCase{"EnterWithSecond", 1, Exit::kEnter, 1, 0, "1.02"},
                      ExitCase{"EnterWithoutSelection", -1, Exit::kEnter, 0, 3, "1.01"},
                      ExitCase{"CancelWithSecond", 1, Exit::kCancel, -1, -1, ""},
                      ExitCase{"CloseWithSecond", 1, Exit::kClose, -1, -1, ""},
                      ExitCase{"CloseWithoutSelection", -1, Exit::kClose, -1, -1, ""},
                      ExitCase{"EscapeWithSecond", 1, Exit::kEscape, -1, -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Retry scans again and asks again; the drive chosen then is the one used.
TEST_F(SelectDeviceTest, RetryAfterNoChoiceAsksAgain) {
  TwoDrives();
  WriteDefaultImage();
  driver_.AnswerDialog(kDialogSelectDevice,
                       [](qtr5::HeadlessDriver& d, HWND dialog) { d.PressEscape(dialog); });
  Start();
  ExpectNoneChosen();
  driver_.AnswerDialog(kDialogSelectDevice, [](qtr5::HeadlessDriver& d, HWND dialog) {
    d.SelectRow(dialog, kIdDeviceList, 1);
    d.Click(dialog, kIdSelectOk);
  });
  ASSERT_TRUE(driver_.Click(Main(), kIdDownload));
  ExpectChosen(1, 0, "1.02");
  EXPECT_EQ(driver_.Text(Main(), kIdDownload), "&Download");
  EXPECT_EQ(Status(), "Ready: press Download to flash the drive");
}

TEST_F(SelectDeviceTest, ListThatCannotBeAllocatedChoosesNoDrive) {
  TwoDrives();
  FailReportListAllocation(2);  // the main report is the first, the dialog's the second
  Start();
  ExpectNoneChosen();
}

TEST_F(SelectDeviceTest, DialogThatCannotBeCreatedChoosesNoDrive) {
  TwoDrives();
  driver_.AnswerDialog(kDialogSelectDevice, [](qtr5::HeadlessDriver& d, HWND dialog) {
    d.SelectRow(dialog, kIdDeviceList, 1);
    d.Click(dialog, kIdSelectOk);
  });
  Start();
  ASSERT_EQ(run_.record.chosenTarget, 0);  // 1:0 was chosen at start
  // An owner that is no window makes the dialog call fail with -1.
  HWND main = app_->mainWindow;
  app_->mainWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0xBAD0));
  const bool chosen = app_->ScanDevices();
  app_->mainWindow = main;
  EXPECT_FALSE(chosen);
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 1);
  EXPECT_FALSE(app_->device.HasTarget());
}

TEST_F(SelectDeviceTest, QuitWhileTheDialogIsOpenChoosesNoDrive) {
  TwoDrives();
  driver_.AnswerDialog(kDialogSelectDevice, [](qtr5::HeadlessDriver& d, HWND dialog) {
    d.SelectRow(dialog, kIdDeviceList, 1);
    PostQuitMessage(0);
  });
  Start();
  EXPECT_EQ(Row(0), "");
  EXPECT_FALSE(app_->device.HasTarget());
  EXPECT_EQ(g_selectList, nullptr);
}

}  // namespace
