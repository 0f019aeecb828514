// The sweep over every adapter and target, the acceptance rule and the
// device table.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ostream>

#include "app/run_context.h"
#include "aspi/command_time_limits.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"
#include "tests/support/scripted_provider.h"

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
    EXPECT_EQ(command.flags, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT);  // only what came is judged
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
  EXPECT_EQ(run_.record.drivesAccepted, 7);
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
  run_.request.hasPreferredDevice = true;
  run_.request.preferredTarget = 6;
  Start();
  EXPECT_FALSE(run_.record.driveChosen);
  EXPECT_EQ(run_.record.scanRefusal, "No XPM-3177K drive at 0:6 among the first 5 of 7 found");
  EXPECT_EQ(Status(), run_.record.scanRefusal);
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
  EXPECT_EQ(SweepDevices(device, run_.scan, &accepted), 2);
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
  EXPECT_EQ(SweepDevices(none, run_.scan, nullptr), 0);
  EXPECT_EQ(g_deviceCount, 0);
}

// The scan record says, for every address, what answered and why it was not
// accepted, so that a front end can explain a drive missing from the list.
struct RecordCase {
  const char* name;
  DeviceOptions options;
  bool present;  // a device at 0:0
  ScanFinding finding;
  const char* reasonPart;  // "" for none
};

DeviceOptions WithFault(DeviceKind kind, FaultKind fault, FaultScope scope) {
  DeviceOptions options = Kind(kind);
  options.faults.push_back({fault, scope});
  return options;
}

void PrintTo(const RecordCase& record, std::ostream* out) {
  *out << record.name;
}

class ScanRecordTest : public AppTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(ScanRecordTest, SaysWhatAnsweredAndWhyItWasNotAccepted) {
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(50));
  if (GetParam().present) AddDevice(0, 0, GetParam().options);
  AddDevice(0, 1, Kind(DeviceKind::kDisk));  // makes the adapter
  AspiDevice device;
  SweepDevices(device, run_.scan, nullptr);
  ASSERT_EQ(run_.scan.size(), 8u);
  const ScanEntry* entry = FindScanEntry(run_.scan, 0, 0);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->finding, GetParam().finding);
  const std::string reason = entry->Reason();
  if (*GetParam().reasonPart == 0) {
    EXPECT_EQ(reason, "");
  } else {
    EXPECT_NE(reason.find(GetParam().reasonPart), std::string::npos) << reason;
  }
  EXPECT_EQ(FindScanEntry(run_.scan, 0, 7)->finding, ScanFinding::kNoDevice);
}

INSTANTIATE_TEST_SUITE_P(
    Findings, ScanRecordTest,
    ::testing::Values(
        RecordCase{"Drive", Kind(DeviceKind::kDrive), true, ScanFinding::kAccepted, ""},
        RecordCase{"Empty", {}, false, ScanFinding::kNoDevice, ""},
        RecordCase{"OtherCd", Kind(DeviceKind::kCdrom), true, ScanFinding::kOtherModel,
                   "another model"},
        RecordCase{"Disk", Kind(DeviceKind::kDisk3177k), true, ScanFinding::kNotCdRom,
                   "byte 0 is 0x00"},
        RecordCase{"Qualifier", Kind(DeviceKind::kQ1Cd), true, ScanFinding::kQualifier,
                   "byte 0 is 0x25"},
        RecordCase{"Sense", WithFault(DeviceKind::kDrive, FaultKind::kSense, FaultScope::kInquiry),
                   true, ScanFinding::kFailed,
                   "INQUIRY failed: sense 4/44/00 (hardware error: internal target failure)"},
        RecordCase{"AdapterError",
                   WithFault(DeviceKind::kDrive, FaultKind::kError, FaultScope::kInquiry), true,
                   ScanFinding::kFailed, "host adapter status 0x14"},
        RecordCase{"NoAnswer",
                   WithFault(DeviceKind::kDrive, FaultKind::kHang, FaultScope::kInquiry), true,
                   ScanFinding::kFailed, "INQUIRY failed: no answer within"}),
    [](const auto& info) { return std::string(info.param.name); });

// A NUL byte inside the vendor text (scsi_debug pads its vendor with NUL)
// does not end the model text the scan keeps.
TEST(ScanRecordText, KeepsTheBytesBehindANul) {
  const std::string model("QTR5\0\0\0\0CD-ROM XPM-3177K", 24);
  ScriptedProvider provider;
  provider.answer = [&model](void* request) {
    auto* srb = static_cast<SRB_ExecSCSICmd*>(request);
    if (srb->SRB_Target != 0) {
      srb->SRB_HaStat = HASTAT_SEL_TO;
      return ScriptedProvider::Complete(request, SS_NO_DEVICE);
    }
    srb->SRB_BufPointer[0] = 0x05;
    std::memcpy(srb->SRB_BufPointer + 8, model.data(), 24);
    std::memcpy(srb->SRB_BufPointer + 32, "1.00", 4);
    return ScriptedProvider::Complete(request, SS_COMP);
  };
  AspiDevice device;
  ScanRecord scan;
  EXPECT_EQ(SweepDevices(device, scan, nullptr), 1);
  EXPECT_STREQ(DeviceTable[0].model, "QTR5");
  EXPECT_EQ(FullModelText(scan, 0, 0, DeviceTable[0].model), model);
  EXPECT_EQ(FindScanEntry(scan, 0, 0)->finding, ScanFinding::kAccepted);
  EXPECT_EQ(FindScanEntry(scan, 0, 1)->finding, ScanFinding::kNoDevice);
}

// AskInquiry judges only the bytes returned (residual), never the image left.
class AskInquiryTest
    : public testing::TestWithParam<std::tuple<std::size_t, std::uint32_t, bool, const char*>> {};

TEST_P(AskInquiryTest, JudgesOnlyWhatTheDeviceReturned) {
  static constexpr char answer[] = "\x05\x80\x00\x21\x1f   QTR5    CD-ROM XPM-3177K1.00";
  const auto [returned, residual, isDrive, revision] = GetParam();
  ScriptedProvider provider;
  provider.answer = [returned, residual](void* srb) {
    std::memcpy(static_cast<SRB_ExecSCSICmd*>(srb)->SRB_BufPointer, answer, returned);
    static_cast<SRB_ExecSCSICmd*>(srb)->SRB_BufLen = residual;
    return ScriptedProvider::Complete(srb, SS_COMP);
  };
  AspiDevice device;
  std::memcpy(device.dataBuffer, answer, 32);
  std::memcpy(device.dataBuffer + 32, "\xFF\x02\x02@", 4);  // left from the image
  const InquiryAnswer result = AskInquiry(device);
  EXPECT_EQ(result.isDrive, isDrive);
  EXPECT_STREQ(result.revision, revision);
}

INSTANTIATE_TEST_SUITE_P(Answers, AskInquiryTest,
                         testing::Values(std::tuple(36, 0, true, "1.00"),
                                         std::tuple(32, 4, true, ""), std::tuple(32, 36, true, ""),
                                         std::tuple(0, 36, false, ""),
                                         std::tuple(36, 10, false, "")));

}  // namespace
