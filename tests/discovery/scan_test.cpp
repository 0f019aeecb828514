// The sweep over every adapter and target, the acceptance rule and the
// device table.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "app/resource_ids.h"
#include "app/run_options.h"
#include "aspi/command_time_limits.h"
#include "discovery/device_table.h"
#include "tests/app/app_harness.h"

namespace {

constexpr std::uint8_t kInquiry = 0x12;

using ScanTest = AppTest;

DeviceOptions Kind(DeviceKind kind) {
  DeviceOptions options;
  options.kind = kind;
  return options;
}

TEST_F(ScanTest, EveryTargetOfEveryAdapterIsAskedOnceWithAClearedBuffer) {
  bus_->SetAdapterCount(3);
  AddDrive(1, 6);
  Start();
  const auto commands = ScsiCommands();
  // 24 INQUIRY in sweep order, then the tray of the one drive.
  ASSERT_EQ(commands.size(), 25u);
  for (int i = 0; i < 24; ++i) {
    SCOPED_TRACE(i);
    const LoggedCommand& command = commands[static_cast<std::size_t>(i)];
    EXPECT_EQ(command.adapter, i / 8);
    EXPECT_EQ(command.target, i % 8);
    EXPECT_EQ(command.lun, 0);
    EXPECT_EQ(command.cdbLength, 12);
    const std::uint8_t expected[12] = {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(command.cdb, expected, 12), 0);
    EXPECT_EQ(command.transferLength, 36u);
    EXPECT_EQ(command.flags, SRB_DIR_IN);
  }
  EXPECT_EQ(commands[24].adapter, 1);
  EXPECT_EQ(commands[24].target, 6);
  EXPECT_EQ(Row(0), "1 : 6");
}

TEST_F(ScanTest, OneDriveAmongOtherDevicesIsTheOnlyOneAccepted) {
  AddDevice(0, 0, Kind(DeviceKind::kDisk));
  AddDevice(0, 1, Kind(DeviceKind::kCdrom));
  AddDevice(0, 2, Kind(DeviceKind::kQ1Cd));       // byte 0 is 0x25
  AddDevice(0, 3, Kind(DeviceKind::kDisk3177k));  // "3177K" on a disk
  AddDrive(0, 5);
  AddDevice(0, 7, Kind(DeviceKind::kCdrom));
  Start();
  EXPECT_EQ(g_deviceCount, 1);
  EXPECT_EQ(DeviceTable[0].adapterId, 0);
  EXPECT_EQ(DeviceTable[0].targetId, 5);
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 0);
  EXPECT_EQ(Row(0), "0 : 5");
  EXPECT_EQ(Row(2), kDriveModel);
  EXPECT_EQ(Row(3), "1.00");
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(Row(4), "");
  // The sweep did not stop at the drive.
  EXPECT_EQ(CountTo(0, 7, kInquiry), 1);
}

struct RejectCase {
  const char* name;
  DeviceKind kind;
};

class RejectedDeviceTest : public AppTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(RejectedDeviceTest, IsNotAcceptedAndReceivesNoTrayCommand) {
  AddDevice(0, 0, Kind(GetParam().kind));
  Start();
  EXPECT_EQ(g_deviceCount, 0);
  EXPECT_EQ(Status(), "Fail to Find Device");
  EXPECT_EQ(CountTo(0, 0, 0x1B), 0);
  EXPECT_EQ(Row(0), "");
  EXPECT_EQ(Row(2), "");
}

INSTANTIATE_TEST_SUITE_P(Devices, RejectedDeviceTest,
                         ::testing::Values(RejectCase{"OtherCd", DeviceKind::kCdrom},
                                           RejectCase{"Disk", DeviceKind::kDisk},
                                           RejectCase{"Qualifier1", DeviceKind::kQ1Cd},
                                           RejectCase{"Disk3177K", DeviceKind::kDisk3177k}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RevisionCase {
  const char* name;
  const char* revision;
  const char* shown;
};

class RevisionTest : public AppTest, public ::testing::WithParamInterface<RevisionCase> {};

TEST_P(RevisionTest, TrailingBlanksAreRemoved) {
  AddDrive(0, 0, GetParam().revision);
  Start();
  EXPECT_STREQ(DeviceTable[0].revision, GetParam().shown);
  EXPECT_EQ(Row(3), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Revisions, RevisionTest,
                         ::testing::Values(RevisionCase{"Full", "1.02", "1.02"},
                                           RevisionCase{"ThreeCharacters", "1.0", "1.0"},
                                           RevisionCase{"OneCharacter", "A", "A"},
                                           RevisionCase{"InnerBlank", "1 0", "1 0"},
                                           RevisionCase{"OnlyBlanks", "    ", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanTest, ShortInquiryDataAfterAGoodOneIsNotJudgedOnOldBytes) {
  AddDrive(0, 0);
  DeviceOptions shortAnswer;
  shortAnswer.faults.push_back({FaultKind::kShortInquiry, FaultScope::kInquiry});
  shortAnswer.inquiryBytes = 20;  // stops before the product's last five characters
  AddDevice(0, 1, shortAnswer);
  Start();
  EXPECT_EQ(g_deviceCount, 1);
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 0);
  EXPECT_EQ(Row(0), "0 : 0");
}

TEST_F(ScanTest, FailingTargetsAreSkippedSilently) {
  // Sense data while the status still reads pending ends the wait at once;
  // the command is then taken back from the service within the time limit.
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(50));
  DeviceOptions sense;
  sense.faults.push_back({FaultKind::kSense, FaultScope::kInquiry});
  AddDevice(0, 0, sense);
  DeviceOptions error;
  error.faults.push_back({FaultKind::kError, FaultScope::kInquiry});
  AddDevice(0, 1, error);
  DeviceOptions pendingSense;
  pendingSense.faults.push_back({FaultKind::kPendingSense, FaultScope::kInquiry});
  AddDevice(0, 2, pendingSense);
  AddDrive(0, 3);
  Start();
  EXPECT_EQ(g_deviceCount, 1);
  EXPECT_EQ(Row(0), "0 : 3");
  EXPECT_EQ(Status(), "Ready to Download, select HEX file...");
}

TEST_F(ScanTest, SlowDriveIsWaitedFor) {
  DeviceOptions slow;
  slow.faults.push_back({FaultKind::kSlow, FaultScope::kInquiry});
  slow.slowDelayMs = 20;
  AddDevice(0, 4, slow);
  Start();
  EXPECT_EQ(g_deviceCount, 1);
  EXPECT_EQ(Row(0), "0 : 4");
}

TEST_F(ScanTest, TargetThatNeverAnswersIsGivenUpAfterItsTimeLimit) {
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(50));
  DeviceOptions hanging;
  hanging.faults.push_back({FaultKind::kHang, FaultScope::kInquiry});
  AddDevice(0, 2, hanging);
  AddDrive(0, 6);
  Start();
  EXPECT_EQ(g_deviceCount, 1);
  EXPECT_EQ(Row(0), "0 : 6");
  EXPECT_EQ(CountTo(0, 7, kInquiry), 1);
  EXPECT_EQ(Status(), "Ready to Download, select HEX file...");
}

TEST_F(ScanTest, SixthAndSeventhDrivesAreIgnoredButStillAsked) {
  // Seven drives: 0:1, 0:3, 0:5, 0:7, 1:0, 1:2, 1:4.
  const std::pair<int, int> addresses[] = {{1, 4}, {0, 3}, {1, 0}, {0, 7}, {0, 1}, {1, 2}, {0, 5}};
  for (const auto& [adapter, target] : addresses) {
    AddDrive(static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
             std::to_string(adapter) + "." + std::to_string(target));
  }
  int shown = -1;
  driver_.AnswerDialog(kDialogSelectDevice, [&shown](qtr5::HeadlessDriver& d, HWND dialog) {
    shown = static_cast<int>(d.Rows(dialog, kIdDeviceList).size());
    d.SelectRow(dialog, kIdDeviceList, 4);
    d.Click(dialog, kIdSelectOk);
  });
  Start();
  EXPECT_EQ(g_deviceCount, 5);
  EXPECT_EQ(g_runOutcome.drivesAccepted, 7);
  EXPECT_EQ(shown, 5);
  const std::pair<int, int> kept[] = {{0, 1}, {0, 3}, {0, 5}, {0, 7}, {1, 0}};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(DeviceTable[i].adapterId, kept[i].first);
    EXPECT_EQ(DeviceTable[i].targetId, kept[i].second);
    EXPECT_EQ(DeviceTable[i].revision,
              std::to_string(kept[i].first) + "." + std::to_string(kept[i].second));
  }
  EXPECT_EQ(Row(0), "1 : 0");
  // Every target of both adapters was asked, also after the table was full.
  EXPECT_EQ(CountTo(1, 7, kInquiry), 1);
  EXPECT_EQ(CountTo(1, 2, kInquiry), 1);
}

TEST_F(ScanTest, PreferredDrivePastTheFullTableIsNotCalledMissing) {
  // Seven drives at 0:0 to 0:6; the table keeps 0:0 to 0:4. Asking for 0:6,
  // which holds a drive, must not read as if there were none; nothing is sent
  // to it beyond the sweep's INQUIRY, and no tray opens anywhere.
  for (std::uint8_t target = 0; target < 7; ++target) AddDrive(0, target);
  g_runOptions.hasPreferredDevice = true;
  g_runOptions.preferredTarget = 6;
  Start();
  EXPECT_FALSE(g_runOutcome.driveChosen);
  EXPECT_EQ(g_runOutcome.scanRefusal, "No XPM-3177K drive at 0:6 among the first 5 of 7 found");
  EXPECT_EQ(Status(), g_runOutcome.scanRefusal);
  for (std::uint8_t target = 0; target < 7; ++target) {
    EXPECT_EQ(bus_->Device(0, target)->TrayOpenCount(), 0) << int(target);
  }
  EXPECT_EQ(CountTo(0, 6, kInquiry), 1);
}

TEST_F(ScanTest, SweepWithAPlainDeviceFillsTheTableAndSendsOnlyInquiry) {
  AddDrive(0, 2, "2.00");
  AddDrive(1, 5, "1.50");
  AspiDevice device;
  int accepted = 0;
  EXPECT_EQ(SweepDevices(device, &accepted), 2);
  EXPECT_EQ(accepted, 2);
  EXPECT_STREQ(DeviceTable[0].model, kDriveModel);
  EXPECT_STREQ(DeviceTable[1].revision, "1.50");
  for (const LoggedCommand& command : ScsiCommands()) EXPECT_EQ(command.Opcode(), kInquiry);
  EXPECT_EQ(ScsiCommands().size(), 16u);
  EXPECT_EQ(driver_.ModalCount(kDialogSelectDevice), 0);
  // A second sweep starts the count afresh.
  bus_ = std::make_unique<EmulatedBus>();
  InstallAspiProvider(bus_.get());
  AspiDevice none;
  EXPECT_EQ(SweepDevices(none, nullptr), 0);
  EXPECT_EQ(g_deviceCount, 0);
}

}  // namespace
