// The pass-through provider over stand-in CD-ROM devices: enumeration,
// numbering of adapters and targets, routing, and AspiDevice on top of it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "aspi/aspi_device.h"
#include "aspi/command_time_limits.h"
#include "tests/windows/fake_cdrom_devices.h"
#include "transports/windows/spti_provider.h"

namespace {

struct NumberingCase {
  const char* name;
  std::vector<spti::SptiAddress> addresses;
  std::vector<std::pair<int, int>> expected;  // adapter, target for each address
};

class SptiNumberingTest : public ::testing::TestWithParam<NumberingCase> {};

TEST_P(SptiNumberingTest, AdaptersByPortAndTargetsWithinIt) {
  const NumberingCase& c = GetParam();
  const std::vector<spti::SptiNumber> numbers = spti::NumberSptiDevices(c.addresses);
  ASSERT_EQ(numbers.size(), c.expected.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(numbers[i].adapter, c.expected[i].first) << "device " << i;
    EXPECT_EQ(numbers[i].target, c.expected[i].second) << "device " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SptiNumberingTest,
    ::testing::Values(
        NumberingCase{"Empty", {}, {}},
        // Two IDE channels: master and slave keep their ids.
        NumberingCase{
            "IdeChannels", {{1, 0, 1, 0}, {1, 0, 0, 0}, {3, 0, 0, 0}}, {{0, 1}, {0, 0}, {1, 0}}},
        // Ports in ascending order, whatever order the devices came in.
        NumberingCase{
            "PortsAscending", {{7, 0, 0, 0}, {2, 0, 0, 0}, {4, 0, 1, 0}}, {{2, 0}, {0, 0}, {1, 1}}},
        // One AHCI controller: every drive at target 0 of its own path.
        NumberingCase{
            "SataPaths", {{0, 2, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 0}}, {{0, 2}, {0, 0}, {0, 1}}},
        // A target id the scan would never reach is renumbered.
        NumberingCase{"HighTargetId", {{0, 0, 9, 0}}, {{0, 0}}},
        // Two LUNs of one target: numbered in LUN order.
        NumberingCase{"TwoLuns", {{5, 0, 0, 1}, {5, 0, 0, 0}}, {{0, 1}, {0, 0}}},
        // A device that does not tell its address has an adapter of its own,
        // after the real ports.
        NumberingCase{"UnaddressedLast", {{256 + 0, 0, 0, 0}, {1, 0, 0, 0}}, {{1, 0}, {0, 0}}}),
    [](const ::testing::TestParamInfo<NumberingCase>& info) { return info.param.name; });

// Answers INQUIRY with a short identification and fails everything else
// with CHECK CONDITION, ILLEGAL REQUEST.
bool InquiryOnly(spti::SptiRequest& request, DWORD&) {
  if (request.sptd.Cdb[0] == 0x12) {
    auto* data = static_cast<std::uint8_t*>(request.sptd.DataBuffer);
    std::memset(data, 0, 36);
    std::memcpy(data + 8, "VENDOR  MODEL           1.00", 28);
    request.sptd.DataTransferLength = 36;
    request.sptd.ScsiStatus = 0x00;
    return true;
  }
  request.sptd.ScsiStatus = 0x02;
  request.sense[0] = 0x70;
  request.sense[2] = 0x05;
  request.sense[7] = 10;
  request.sense[12] = 0x20;
  request.sense[16] = 0xAB;
  request.sense[17] = 0xCD;
  return true;
}

TEST(SptiProvider, EnumeratesExistingDevicesAcrossGapsAndReportsUnusableOnes) {
  FakeCdRoms fake;
  fake.devices[1].address = FakeCdRoms::Address(2, 0, 1);
  fake.devices[2].openError = ERROR_ACCESS_DENIED;
  fake.devices[4].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[7].address = std::nullopt;
  {
    SptiProvider provider(fake.System());
    ASSERT_EQ(provider.Devices().size(), 3u);
    EXPECT_EQ(provider.AdapterCount(), 3);
    EXPECT_EQ(provider.GetSupportInfo(), (DWORD{SS_COMP} << 8) | 3u);
    EXPECT_EQ(provider.Devices()[0].path, "\\\\.\\CdRom1");
    EXPECT_EQ(provider.Devices()[0].adapter, 1);  // port 2 comes after port 0
    EXPECT_EQ(provider.Devices()[0].target, 1);
    EXPECT_EQ(provider.Devices()[1].adapter, 0);
    EXPECT_EQ(provider.Devices()[2].adapter, 2);  // CdRom7, no address
    ASSERT_EQ(provider.Problems().size(), 1u);
    EXPECT_NE(provider.Problems()[0].find("\\\\.\\CdRom2: access denied"), std::string::npos)
        << provider.Problems()[0];
    EXPECT_TRUE(provider.AccessDenied());
    EXPECT_EQ(fake.openHandles.size(), 3u);
  }
  EXPECT_TRUE(fake.openHandles.empty()) << "every handle is closed with the provider";
}

TEST(SptiProvider, DriveLettersOfTypeCdRomComeFirstAndNoDriveIsOpenedTwice) {
  FakeCdRoms fake;
  fake.devices[40].address = FakeCdRoms::Address(3, 0, 1);
  fake.devices[41].address = std::nullopt;
  fake.letters = {{'E', 40}, {'G', 41}};
  fake.devices[0].address = FakeCdRoms::Address(3, 0, 1);  // E: again
  fake.devices[1].address = FakeCdRoms::Address(3, 0, 2);  // a drive without a letter
  fake.devices[2].address = std::nullopt;                  // perhaps G: again: not told apart
  SptiProvider provider(fake.System());
  ASSERT_EQ(provider.Devices().size(), 3u);
  EXPECT_EQ(provider.Devices()[0].path, "\\\\.\\E:");
  EXPECT_EQ(provider.Devices()[0].adapter, 0);
  EXPECT_EQ(provider.Devices()[0].target, 1);
  EXPECT_EQ(provider.Devices()[1].path, "\\\\.\\G:");
  EXPECT_EQ(provider.Devices()[1].adapter, 1) << "no address: an adapter of its own";
  EXPECT_EQ(provider.Devices()[2].path, "\\\\.\\CdRom1");
  EXPECT_EQ(provider.Devices()[2].adapter, 0);
  EXPECT_EQ(provider.Devices()[2].target, 2);
  EXPECT_EQ(fake.openHandles.size(), 3u) << "the handles of the drives seen twice are closed";
}

// What Windows kept of a device names it without a command to the drive.
TEST(SptiProvider, KnowsWhatWindowsKeptOfADevice) {
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[0].deviceType = 5;
  fake.devices[0].vendor = "QTR5    ";
  fake.devices[0].product = "CD-ROM XPM-3177K";
  fake.devices[1].address = FakeCdRoms::Address(0, 0, 1);  // its driver does not say
  SptiProvider provider(fake.System());
  EXPECT_EQ(provider.KnownIdentity(0, 0).type, 5);
  EXPECT_EQ(provider.KnownIdentity(0, 0).vendorAndProduct, "QTR5 CD-ROM XPM-3177K");
  EXPECT_FALSE(provider.KnownIdentity(0, 1).known);
  for (const IoctlCall& call : fake.calls) EXPECT_NE(call.code, IOCTL_SCSI_PASS_THROUGH_DIRECT);
}

TEST(SptiProvider, NoDeviceMeansNoAdapter) {
  FakeCdRoms fake;
  SptiProvider provider(fake.System());
  EXPECT_EQ(provider.GetSupportInfo(), DWORD{SS_NO_ADAPTERS} << 8);
  EXPECT_TRUE(provider.Problems().empty());
  EXPECT_FALSE(provider.AccessDenied());
}

TEST(SptiProvider, SendsEachCommandToTheDeviceAtItsAdapterAndTarget) {
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(1, 0, 0);
  fake.devices[0].answer = InquiryOnly;
  fake.devices[3].address = FakeCdRoms::Address(0, 0, 1);
  fake.devices[3].answer = InquiryOnly;
  SptiProvider provider(fake.System());

  std::uint8_t data[64] = {};
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = 0;
  srb.SRB_Target = 1;
  srb.SRB_Flags = SRB_DIR_IN;
  srb.SRB_BufLen = 36;
  srb.SRB_BufPointer = data;
  srb.SRB_CDBLen = 6;
  srb.SRB_SenseLen = 18;
  srb.CDBByte[0] = 0x12;
  srb.CDBByte[4] = 36;
  EXPECT_EQ(provider.SendCommand(&srb), SS_COMP);
  EXPECT_EQ(srb.SRB_Status, SS_COMP);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 5), "VENDO");
  ASSERT_FALSE(fake.calls.empty());
  const IoctlCall& call = fake.calls.back();
  EXPECT_EQ(call.device, 3) << "adapter 0 is port 0, where CdRom3 sits";
  EXPECT_EQ(call.code, DWORD{IOCTL_SCSI_PASS_THROUGH_DIRECT});
  EXPECT_EQ(call.request.sptd.TargetId, 1);
}

struct BadRequest {
  const char* name;
  BYTE adapter;
  BYTE target;
  BYTE lun;
  BYTE cdbLength;
  BYTE flags;
  BYTE expectStatus;
};

class SptiRefusalTest : public ::testing::TestWithParam<BadRequest> {};

TEST_P(SptiRefusalTest, NothingReachesADeviceAndNoStaleStatusRemains) {
  const BadRequest& r = GetParam();
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[0].answer = InquiryOnly;
  SptiProvider provider(fake.System());
  const std::size_t callsBefore = fake.calls.size();
  std::uint8_t data[36];
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_Status = SS_COMP;  // from the command before
  srb.SRB_HaId = r.adapter;
  srb.SRB_Target = r.target;
  srb.SRB_Lun = r.lun;
  srb.SRB_CDBLen = r.cdbLength;
  srb.SRB_Flags = r.flags;
  srb.SRB_BufLen = sizeof data;
  srb.SRB_BufPointer = data;
  EXPECT_EQ(provider.SendCommand(&srb), r.expectStatus);
  EXPECT_EQ(srb.SRB_Status, r.expectStatus);
  EXPECT_EQ(fake.calls.size(), callsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SptiRefusalTest,
    ::testing::Values(BadRequest{"NoSuchAdapter", 1, 0, 0, 6, SRB_DIR_IN, SS_INVALID_HA},
                      BadRequest{"NoSuchTarget", 0, 1, 0, 6, SRB_DIR_IN, SS_NO_DEVICE},
                      BadRequest{"OtherLun", 0, 0, 1, 6, SRB_DIR_IN, SS_NO_DEVICE},
                      BadRequest{"NoCommandBytes", 0, 0, 0, 0, SRB_DIR_IN, SS_INVALID_SRB},
                      BadRequest{"TooManyCommandBytes", 0, 0, 0, 17, SRB_DIR_IN, SS_INVALID_SRB},
                      BadRequest{"BothDirections", 0, 0, 0, 6, SRB_DIR_IN | SRB_DIR_OUT,
                                 SS_INVALID_SRB},
                      BadRequest{"EventNotification", 0, 0, 0, 6, SRB_DIR_IN | SRB_EVENT_NOTIFY,
                                 SS_ILLEGAL_MODE}),
    [](const ::testing::TestParamInfo<BadRequest>& info) { return info.param.name; });

TEST(SptiProvider, AbortFindsNothingToAbortAndResetGoesToTheDevice) {
  FakeCdRoms fake;
  fake.devices[2].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[2].answer = InquiryOnly;
  SptiProvider provider(fake.System());
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  EXPECT_EQ(provider.SendCommand(&abort), SS_ABORT_FAIL);
  SRB_BusDeviceReset reset{};
  reset.SRB_Cmd = SC_RESET_DEV;
  EXPECT_EQ(provider.SendCommand(&reset), SS_COMP);
  EXPECT_EQ(fake.calls.back().device, 2);
  EXPECT_EQ(fake.calls.back().code, DWORD{IOCTL_STORAGE_RESET_DEVICE});
  reset.SRB_Target = 3;
  EXPECT_EQ(provider.SendCommand(&reset), SS_NO_DEVICE);
  SRB_Header unknown{};
  unknown.SRB_Cmd = SC_HA_INQUIRY;
  EXPECT_EQ(provider.SendCommand(&unknown), SS_INVALID_CMD);
}

SRB_ExecSCSICmd Command(std::uint8_t opcode, BYTE flags, std::uint8_t* data, DWORD length) {
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_Flags = flags;
  srb.SRB_BufLen = length;
  srb.SRB_BufPointer = data;
  srb.SRB_CDBLen = 12;
  srb.SRB_SenseLen = 14;
  srb.CDBByte[0] = opcode;
  return srb;
}

constexpr const char* kClaimOfFirstDrive = "qtr5-download-drive-port0-path0-target0-lun0";

TEST(SptiProvider, TheDownloadClaimsTheDriveOnceForTheRestOfTheRun) {
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[0].answer = [](spti::SptiRequest& request, DWORD&) {
    request.sptd.ScsiStatus = 0x00;
    return true;
  };
  std::uint8_t image[64] = {};
  {
    SptiProvider provider(fake.System());
    SRB_ExecSCSICmd inquiry = Command(0x12, SRB_DIR_IN, image, 36);
    EXPECT_EQ(provider.SendCommand(&inquiry), SS_COMP);
    EXPECT_TRUE(fake.claims.empty()) << "looking at a drive claims nothing";
    for (int i = 0; i < 2; ++i) {
      SRB_ExecSCSICmd download = Command(0x55, SRB_DIR_OUT, image, sizeof image);
      EXPECT_EQ(provider.SendCommand(&download), SS_COMP);
    }
    EXPECT_EQ(fake.claims, std::vector<std::string>{kClaimOfFirstDrive});
    EXPECT_EQ(fake.claimsReleased, 0);
    EXPECT_EQ(fake.mcnDisabled[0], 1) << "no media change polling while the drive reprograms";
  }
  EXPECT_EQ(fake.claimsReleased, 1) << "the claim ends with the provider";
  EXPECT_EQ(fake.mcnDisabled[0] + fake.watchesOpen, 0) << "and so does the pause of polling";
}

TEST(SptiProvider, ADriveClaimedByAnotherProgramGetsNoCommand) {
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[0].answer = InquiryOnly;
  fake.heldElsewhere.insert(kClaimOfFirstDrive);
  SptiProvider provider(fake.System());
  const std::size_t callsBefore = fake.calls.size();
  std::uint8_t data[64] = {};
  SRB_ExecSCSICmd inquiry = Command(0x12, SRB_DIR_IN, data, 36);
  EXPECT_EQ(provider.SendCommand(&inquiry), SS_ERR);
  SRB_ExecSCSICmd download = Command(0x55, SRB_DIR_OUT, data, sizeof data);
  EXPECT_EQ(provider.SendCommand(&download), SS_ERR);
  EXPECT_EQ(fake.calls.size(), callsBefore);
  ASSERT_EQ(fake.told.size(), 2u);
  EXPECT_EQ(fake.told[0].rfind("\\\\.\\CdRom0: another program is downloading", 0), 0u)
      << fake.told[0];
  EXPECT_NE(fake.told[1].find("the download command is not sent"), std::string::npos);
}

TEST(SptiProvider, TimeoutsAndARefusedDownloadAreToldAsTheyHappen) {
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[0].answer = [](spti::SptiRequest& request, DWORD& error) {
    if (request.sptd.Cdb[0] == 0x12) {
      error = ERROR_SEM_TIMEOUT;
      return false;
    }
    request.sptd.ScsiStatus = 0x02;  // the download: ILLEGAL REQUEST, INVALID FIELD IN CDB
    request.sense[0] = 0x70;
    request.sense[2] = 0x05;
    request.sense[12] = 0x24;
    return true;
  };
  SptiProvider provider(fake.System());
  std::uint8_t data[64] = {};
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(3000));
  SRB_ExecSCSICmd inquiry = Command(0x12, SRB_DIR_IN, data, 36);
  EXPECT_EQ(provider.SendCommand(&inquiry), SS_ERR);
  EXPECT_EQ(inquiry.SRB_HaStat, HASTAT_COMMAND_TIMEOUT);
  SRB_ExecSCSICmd download = Command(0x55, SRB_DIR_OUT, data, sizeof data);
  EXPECT_EQ(provider.SendCommand(&download), SS_ERR);
  const std::vector<std::string> expected{
      "\\\\.\\CdRom0: the command (operation code 0x12) timed out after 3 s.",
      "\\\\.\\CdRom0: the drive did not take the download command: SCSI status 0x02, sense "
      "5/24/00 (illegal request: invalid field in CDB)."};
  EXPECT_EQ(fake.told, expected);
}

// In the reprogramming window the pass-through timeout of every command
// reaches to the window's deadline.
TEST(SptiProvider, InTheReprogrammingWindowTheTimeoutReachesToItsDeadline) {
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  std::vector<ULONG> timeouts;
  fake.devices[0].answer = [&timeouts](spti::SptiRequest& request, DWORD&) {
    timeouts.push_back(request.sptd.TimeOutValue);
    return true;
  };
  SptiProvider provider(fake.System());
  std::uint8_t data[64] = {};
  SRB_ExecSCSICmd before = Command(0x12, SRB_DIR_IN, data, 36);
  provider.SendCommand(&before);
  OpenReprogrammingWindow();
  FixReprogrammingDeadline();
  SRB_ExecSCSICmd inWindow = Command(0x12, SRB_DIR_IN, data, 36);
  provider.SendCommand(&inWindow);
  CloseReprogrammingWindow();
  EXPECT_EQ(timeouts, (std::vector<ULONG>{10, 300}));
}

struct AdapterCase {
  const char* name;
  std::optional<STORAGE_ADAPTER_DESCRIPTOR> adapter;
  bool sent;
  std::uintptr_t alignment;  // of the data buffer handed to the driver
  const char* told;          // part of the line told when refused
};

class SptiAdapterLimitsTest : public ::testing::TestWithParam<AdapterCase> {};

// The 65535-byte download, from a caller's buffer that sits on no boundary.
TEST_P(SptiAdapterLimitsTest, TheDownloadGoesOnlyWhereTheAdapterCanMoveItInOneCommand) {
  const AdapterCase& c = GetParam();
  FakeCdRoms fake;
  fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  fake.devices[0].adapter = c.adapter;
  fake.devices[0].answer = [](spti::SptiRequest& request, DWORD&) {
    request.sptd.ScsiStatus = 0x00;
    return true;
  };
  SptiProvider provider(fake.System());
  std::vector<std::uint8_t> image(65535 + 1);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::size_t callsBefore = fake.calls.size();
  SRB_ExecSCSICmd download = Command(0x55, SRB_DIR_OUT, image.data() + 1, 65535);
  EXPECT_EQ(provider.SendCommand(&download), c.sent ? SS_COMP : SS_BUFFER_TO_BIG);
  if (!c.sent) {
    EXPECT_EQ(fake.calls.size(), callsBefore) << "nothing reaches the drive";
    ASSERT_EQ(fake.told.size(), 1u);
    EXPECT_NE(fake.told[0].find(c.told), std::string::npos) << fake.told[0];
    return;
  }
  ASSERT_EQ(fake.calls.size(), callsBefore + 1);
  const IoctlCall& call = fake.calls.back();
  const auto address = reinterpret_cast<std::uintptr_t>(call.request.sptd.DataBuffer);
  EXPECT_EQ(address % c.alignment, 0u) << std::hex << address;
  EXPECT_EQ(call.request.sptd.DataTransferLength, 65535u);
  EXPECT_TRUE(call.data == std::vector<std::uint8_t>(image.begin() + 1, image.end()))
      << "the drive gets the caller's bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, SptiAdapterLimitsTest,
    ::testing::Values(
        AdapterCase{"DriverDoesNotTell", std::nullopt, true, 4096, ""},
        AdapterCase{"Ample", FakeCdRoms::Adapter(0x20000, 33, 3), true, 4096, ""},
        AdapterCase{"ExactlyEnough", FakeCdRoms::Adapter(65535, 16, 0), true, 4096, ""},
        AdapterCase{"AlignmentAboveThePage", FakeCdRoms::Adapter(0x100000, 256, 0x3FFF), true,
                    0x4000, ""},
        AdapterCase{"TransferTooShort", FakeCdRoms::Adapter(65534, 256, 1), false, 0,
                    "at most 65534 bytes in one command, but the command needs 65535"},
        AdapterCase{"TooFewPages", FakeCdRoms::Adapter(0x100000, 15, 1), false, 0,
                    "at most 15 memory pages in one command, but the command's 65535 bytes span "
                    "16"}),
    [](const ::testing::TestParamInfo<AdapterCase>& info) { return info.param.name; });

TEST(SptiSystemReal, AClaimIsHeldByOneHolderUntilReleased) {
  const spti::SptiSystem system = spti::SptiSystem::Real();
  const std::string name = "qtr5-download-test-claim-" + std::to_string(GetCurrentProcessId());
  EXPECT_FALSE(system.claimedElsewhere(name));
  HANDLE first = system.claim(name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(system.claim(name), nullptr) << "a second claim while the first is held";
  EXPECT_TRUE(system.claimedElsewhere(name));
  system.closeHandle(first);
  EXPECT_FALSE(system.claimedElsewhere(name));
  HANDLE again = system.claim(name);
  EXPECT_NE(again, nullptr);
  if (again != nullptr) system.closeHandle(again);
}

// AspiDevice over the pass-through provider, through the entry points.
class AspiDeviceOverSpti : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_.devices[0].address = FakeCdRoms::Address(0, 0, 0);
    fake_.devices[0].answer = InquiryOnly;
    provider_ = std::make_unique<SptiProvider>(fake_.System());
    InstallAspiProvider(provider_.get());
  }
  void TearDown() override { InstallAspiProvider(nullptr); }

  FakeCdRoms fake_;
  std::unique_ptr<SptiProvider> provider_;
};

TEST_F(AspiDeviceOverSpti, InquirySucceedsAndAFailedCommandLeavesAllSenseBytes) {
  AspiDevice device;
  ASSERT_TRUE(device.IsAvailable());
  EXPECT_EQ(device.GetAdapterCount(), 1);
  device.SelectAdapter(0);
  device.SelectTarget(0);
  const std::uint8_t inquiry[12] = {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
  device.SetCommand(inquiry, SRB_DIR_IN, 36);
  ASSERT_TRUE(device.ExecuteWait());
  EXPECT_EQ(std::memcmp(device.dataBuffer + 8, "VENDOR", 6), 0);

  const std::uint8_t startStop[12] = {0x1B, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  device.SetCommand(startStop, SRB_DIR_IN, 0);
  EXPECT_FALSE(device.ExecuteWait());
  EXPECT_EQ(device.srb.SenseArea[0], 0x70);
  EXPECT_EQ(device.srb.SenseArea[12], 0x20);
  EXPECT_EQ(device.senseReserve[0], 0xAB);
  EXPECT_EQ(device.senseReserve[1], 0xCD);
  EXPECT_EQ(fake_.calls.back().request.sptd.DataIn, SCSI_IOCTL_DATA_UNSPECIFIED);

  device.SetCommand(inquiry, SRB_DIR_IN, 36);
  EXPECT_TRUE(device.ExecuteWait()) << "the sense of the failed command does not leak";
}

TEST_F(AspiDeviceOverSpti, NothingIsSentToATargetWithoutADevice) {
  AspiDevice device;
  device.SelectAdapter(0);
  device.SelectTarget(4);
  const std::uint8_t inquiry[12] = {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
  const std::size_t callsBefore = fake_.calls.size();
  device.SetCommand(inquiry, SRB_DIR_IN, 36);
  EXPECT_FALSE(device.ExecuteWait());
  EXPECT_EQ(fake_.calls.size(), callsBefore);
}

}  // namespace
