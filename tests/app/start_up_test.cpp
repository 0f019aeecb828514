// Start-up and shutdown: the construction order, the drive preparation, the
// entry body and the options a front end sets.
#include <gtest/gtest.h>

#include "app/entry.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "aspi/command_time_limits.h"
#include "discovery/device_table.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"

namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kStartStopUnit = 0x1B;

using StartUpTest = AppTest;

TEST_F(StartUpTest, NoAdapterSendsNothingAndShowsNoDevice) {
  WriteDefaultImage();
  Start();
  EXPECT_TRUE(ScsiCommands().empty());
  const auto history = StatusHistory();
  ASSERT_GE(history.size(), 2u);
  EXPECT_EQ(history[history.size() - 2], "Fail to Initialize ASPI !");
  EXPECT_EQ(history.back(), "Fail to Find Device");
  EXPECT_EQ(Picture(), kBitmapNoDevice);
  EXPECT_FALSE(Enabled(kIdBrowse));
  // The default image is there, yet nothing may be downloaded.
  EXPECT_FALSE(Enabled(kIdDownload));
  for (int row = 0; row < 5; ++row) EXPECT_EQ(Row(row), "") << row;
  EXPECT_FALSE(app_->device.HasTarget());
  EXPECT_FALSE(run_.record.driveChosen);
}

TEST_F(StartUpTest, ServiceNotReadyIsTreatedAsNoAdapter) {
  AddDrive(0, 0);
  bus_->SetServiceReady(false);
  Start();
  EXPECT_TRUE(ScsiCommands().empty());
  EXPECT_EQ(Status(), "Fail to Find Device");
}

TEST_F(StartUpTest, OneDriveIsChosenItsTrayOpenedAndReported) {
  AddDrive(0, 0);
  Start();
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 0);
  EXPECT_EQ(Row(0), "0 : 0");
  EXPECT_EQ(Row(2), kDriveModel);
  EXPECT_EQ(Row(3), "1.00");
  EXPECT_EQ(bus_->Device(0, 0)->TrayOpenCount(), 1);
  // The tray command: START STOP UNIT with LoEj, no data, direction in.
  const auto commands = bus_->CommandsTo(0, 0);
  ASSERT_FALSE(commands.empty());
  const LoggedCommand& tray = commands.back();
  EXPECT_EQ(tray.Opcode(), kStartStopUnit);
  EXPECT_EQ(tray.cdb[4], 0x02);
  EXPECT_EQ(tray.cdbLength, 12);
  EXPECT_EQ(tray.transferLength, 0u);
  EXPECT_EQ(tray.flags, SRB_DIR_IN);
  const auto history = StatusHistory();
  ASSERT_GE(history.size(), 2u);
  EXPECT_EQ(history[history.size() - 2], "Open Tray...");
  EXPECT_EQ(history.back(), "Ready to Download, select HEX file...");
  EXPECT_TRUE(run_.record.driveChosen);
}

TEST_F(StartUpTest, TrayThatFailsGoesUnnoticed) {
  DeviceOptions options;
  options.faults.push_back({FaultKind::kSense, FaultScope::kTray});
  AddDevice(0, 2, options);
  Start();
  EXPECT_EQ(Status(), "Ready to Download, select HEX file...");
  EXPECT_EQ(Row(0), "0 : 2");
}

TEST_F(StartUpTest, DialogInitialisationRunsBeforeTheApplicationExists) {
  // The window's initialisation probes the default image while g_app is
  // still null; it must not need it.
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "QTR5_ORNA.HEX");
  EXPECT_TRUE(Enabled(kIdDownload));
}

TEST_F(StartUpTest, AppMainRunsUntilCancelAndReturnsZero) {
  AddDrive(0, 0);
  bool sawApp = false;
  run_.request.afterStartUp = [](DownloadApp& app) {
    // Start-up has finished and g_app is set before the loop runs.
    EXPECT_EQ(g_app, &app);
    EXPECT_EQ(qtr5::WindowText(GetDlgItem(app.mainWindow, kIdStatus)),
              "Ready to Download, select HEX file...");
  };
  driver_.Then([&sawApp](qtr5::HeadlessDriver& d) {
    sawApp = g_app != nullptr;
    d.Click(d.FindDialog(kDialogMain), kIdCancel);
  });
  EXPECT_EQ(AppMain(nullptr, SW_SHOW, run_), 0);
  EXPECT_TRUE(sawApp);
  EXPECT_EQ(g_app, nullptr);
  EXPECT_FALSE(qtr5::QuitWasForced());
  EXPECT_TRUE(driver_.UnscriptedWaits().empty());
}

TEST_F(StartUpTest, AppMainEndsWhenTheWindowIsClosed) {
  AddDrive(0, 0);
  driver_.Then([](qtr5::HeadlessDriver& d) { d.Close(d.FindDialog(kDialogMain)); });
  EXPECT_EQ(AppMain(nullptr, SW_SHOW, run_), 0);
  EXPECT_FALSE(qtr5::QuitWasForced());
}

TEST_F(StartUpTest, MainWindowThatCannotBeCreatedEndsWithAMessage) {
  AddDrive(0, 0);
  const int unknownTemplate = 4321;
  EXPECT_EQ(RunApplication(nullptr, MAKEINTRESOURCEA(unknownTemplate), SW_SHOW, run_),
            kStartUpFailedStatus);
  ASSERT_EQ(driver_.MessageBoxes().size(), 1u);
  EXPECT_EQ(driver_.MessageBoxes()[0].text, "The main window could not be created.");
  EXPECT_EQ(driver_.MessageBoxes()[0].Icon(), static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(ScsiCommands().empty());
  EXPECT_TRUE(run_.record.startUpFailed);
  EXPECT_FALSE(qtr5::QuitWasForced());
}

TEST_F(StartUpTest, ReportListThatCannotBeAllocatedEndsOnTheStatusLine) {
  AddDrive(0, 0);
  FailReportListAllocation(1);
  EXPECT_EQ(AppMain(nullptr, SW_SHOW, run_), kStartUpFailedStatus);
  const auto dialogs = driver_.Dialogs();
  ASSERT_FALSE(dialogs.empty());
  const auto status = driver_.TextHistory(dialogs[0].handle, kIdStatus);
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back(), "Out of Memory...");
  EXPECT_FALSE(IsWindow(dialogs[0].handle));
  EXPECT_TRUE(ScsiCommands().empty());
  EXPECT_FALSE(qtr5::QuitWasForced());
}

TEST_F(StartUpTest, DataBufferThatCannotBeHadFindsNoDriveAndSendsNothing) {
  AddDrive(0, 0);
  WriteDefaultImage();
  {
    ScopedDataBufferAllocationFailure noBuffer;
    Start();
  }
  EXPECT_TRUE(ScsiCommands().empty());
  EXPECT_EQ(Status(), "Fail to Find Device");
  EXPECT_EQ(app_->DownloadFirmware(), 0);
  EXPECT_TRUE(ScsiCommands().empty());
}

// ---- Options a front end sets before start-up ----

TEST_F(StartUpTest, PreferredDeviceIsChosenWithoutAsking) {
  AddDrive(0, 1, "1.01");
  AddDrive(0, 4, "1.04");
  run_.request.hasPreferredDevice = true;
  run_.request.preferredAdapter = 0;
  run_.request.preferredTarget = 4;
  Start();
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 0);
  EXPECT_EQ(Row(0), "0 : 4");
  EXPECT_EQ(Row(3), "1.04");
  EXPECT_EQ(bus_->Device(0, 4)->TrayOpenCount(), 1);
  EXPECT_EQ(bus_->Device(0, 1)->TrayOpenCount(), 0);
  EXPECT_EQ(run_.record.chosenTarget, 4);
}

TEST_F(StartUpTest, PreferredDeviceThatIsNotAcceptedFailsTheScan) {
  AddDrive(0, 1);
  DeviceOptions other;
  other.kind = DeviceKind::kCdrom;
  AddDevice(0, 4, other);
  WriteDefaultImage();
  run_.request.hasPreferredDevice = true;
  run_.request.preferredTarget = 4;
  Start();
  EXPECT_EQ(Status(), "No XPM-3177K drive at 0:4");
  EXPECT_EQ(run_.record.scanRefusal, "No XPM-3177K drive at 0:4");
  EXPECT_EQ(CountTo(0, 1, kStartStopUnit), 0);
  EXPECT_EQ(CountTo(0, 4, kStartStopUnit), 0);
  EXPECT_FALSE(Enabled(kIdDownload));
  EXPECT_EQ(Picture(), kBitmapNoDevice);
  const std::size_t sent = ScsiCommands().size();
  EXPECT_EQ(app_->DownloadFirmware(), 0);
  EXPECT_EQ(ScsiCommands().size(), sent);
}

TEST_F(StartUpTest, SeveralDrivesWithoutQuestionsFailTheScan) {
  AddDrive(0, 0);
  AddDrive(1, 0);
  run_.request.mayAskForDevice = false;
  Start();
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 0);
  EXPECT_EQ(Status(), "Several drives found: choose one with --device A:T");
  EXPECT_EQ(CountTo(0, 0, kStartStopUnit) + CountTo(1, 0, kStartStopUnit), 0);
  EXPECT_FALSE(run_.record.driveChosen);
  EXPECT_EQ(run_.record.drivesAccepted, 2);
  EXPECT_FALSE(app_->device.HasTarget());
}

TEST_F(StartUpTest, OneDriveNeedsNoQuestion) {
  AddDrive(0, 0);
  run_.request.mayAskForDevice = false;
  Start();
  EXPECT_EQ(Status(), "Ready to Download, select HEX file...");
  EXPECT_TRUE(run_.record.driveChosen);
}

// An image named up front is used whether or not the default image exists;
// the default is then not looked for, so its absence is never reported.
class InitialImageTest : public AppTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InitialImageTest, IsTheImageFlashedAndTheDefaultIsNotLookedFor) {
  AddDrive(0, 0);
  if (GetParam()) WriteDefaultImage();
  run_.request.initialImage = "other.hex";
  Start();
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "other.hex");
  EXPECT_TRUE(Enabled(kIdDownload));
  EXPECT_FALSE(Enabled(kIdBrowse));
  EXPECT_FALSE(Enabled(kIdFileName));
  EXPECT_TRUE(driver_.MessageBoxes().empty());
}

// An edit box that never reports the text the program sets (as under Wine in
// the test machine): the scan that chooses the drive still makes Download
// usable for the image in the box.
INT_PTR CALLBACK WithoutEditNotices(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) return TRUE;
  return MainDialogProc(window, message, wParam, lParam);
}

TEST_P(InitialImageTest, MakesDownloadUsableAlsoWhenTheBoxReportsNothing) {
  AddDrive(0, 0);
  if (GetParam()) WriteDefaultImage();
  run_.request.initialImage = "other.hex";
  Start(WithoutEditNotices);
  EXPECT_EQ(driver_.Text(Main(), kIdFileName), "other.hex");
  EXPECT_TRUE(Enabled(kIdDownload));
}

TEST_F(StartUpTest, BrowsedImageIsUsableAlsoWhenTheBoxReportsNothing) {
  AddDrive(0, 0);
  Start(WithoutEditNotices);
  EXPECT_FALSE(Enabled(kIdDownload));
  driver_.AnswerOpenFile(std::string("/some/dir/FW.HEX"));
  ASSERT_TRUE(driver_.Click(Main(), kIdBrowse));
  EXPECT_TRUE(Enabled(kIdDownload));
}

INSTANTIATE_TEST_SUITE_P(DefaultImage, InitialImageTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Present" : "Absent"; });

}  // namespace
