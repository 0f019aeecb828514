// The command path of the SCSI generic provider against a scripted
// pass-through call: how each outcome lands in the request block.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>

#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"
#include "fake_sg.h"
#include "transports/linux/sg_outcome.h"
#include "transports/linux/sg_provider.h"

namespace {

using sgtest::FakeSgSystem;
using sgtest::FakeSysfs;
using sgtest::ScriptedAnswer;

// The request block with room behind it, as the device object lays it out.
struct Block {
  SRB_ExecSCSICmd srb;
  std::uint8_t reserve[64];
};

constexpr std::uint8_t kInquiry[12] = {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kTray[12] = {0x1B, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDownload[12] = {0x55, 0, 0, 0x77, 0, 0x12, 0x34, 0xFF, 0xFE, 2, 0xAB, 0xCD};

class SgCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    sysfs.AddNode("sg0", "0:0:0:0");
    system->nodes[sysfs.DevRoot() + "/sg0"] = FakeSgSystem::Node{{0, 0, 0, 0}, 0};
  }

  std::unique_ptr<AspiProvider> Create(std::shared_ptr<FakeSgSystem> sys = nullptr) {
    SgProviderOptions options;
    options.sysfsRoot = sysfs.Root();
    options.devRoot = sysfs.DevRoot();
    options.system = sys ? sys : system;
    options.messages = StreamSink(messages);
    std::string diagnostics;
    auto provider = CreateSgProvider(options, diagnostics);
    lastDiagnostics = diagnostics;
    return provider;
  }

  void Load(const std::uint8_t* cdb, std::uint8_t flags, std::uint32_t length) {
    std::memset(&block, 0, sizeof block);
    std::memset(block.reserve, 0xCC, sizeof block.reserve);
    block.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    block.srb.SRB_Status = SS_COMP;  // left over from an earlier command
    block.srb.SRB_Flags = flags;
    block.srb.SRB_BufLen = length;
    block.srb.SRB_BufPointer = buffer;
    block.srb.SRB_SenseLen = 18;
    block.srb.SRB_CDBLen = 12;
    std::memcpy(block.srb.CDBByte, cdb, 12);
    std::memset(block.srb.SenseArea, 0, sizeof block.srb.SenseArea);
    block.reserve[0] = block.reserve[1] = 0;
  }

  aspi::DWORD Send(AspiProvider& provider) { return provider.SendCommand(&block.srb); }

  FakeSysfs sysfs;
  std::shared_ptr<FakeSgSystem> system = std::make_shared<FakeSgSystem>();
  std::ostringstream messages;
  std::string lastDiagnostics;
  Block block{};
  std::uint8_t buffer[65540] = {};
};

// One row: what the pass-through call reports, and the request block after it.
struct Outcome {
  const char* name;
  sg::PassThroughResult result;
  std::vector<std::uint8_t> sense;
  aspi::BYTE status;
  aspi::BYTE haStat;
  aspi::BYTE targStat;
  bool senseCopied;
  const char* message;  // expected in the messages of a download, or ""
};

sg::PassThroughResult Result(int submit, int os, int host, int driver, int scsi, int resid = 0) {
  sg::PassThroughResult r;
  r.submitResult = submit;
  r.osError = os;
  r.hostStatus = host;
  r.driverStatus = driver;
  r.scsiStatus = scsi;
  r.residual = resid;
  return r;
}

void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << outcome.name;
}

class SgOutcome : public SgCommand, public ::testing::WithParamInterface<Outcome> {};

TEST_P(SgOutcome, LandsInTheRequestBlock) {
  const Outcome& o = GetParam();
  auto provider = Create();
  system->answers.push_back(ScriptedAnswer{o.result, {}, o.sense});
  Load(kDownload, SRB_DIR_OUT, 65535);
  EXPECT_EQ(Send(*provider), o.status);
  EXPECT_EQ(block.srb.SRB_Status, o.status);
  EXPECT_EQ(block.srb.SRB_HaStat, o.haStat);
  EXPECT_EQ(block.srb.SRB_TargStat, o.targStat);
  if (o.senseCopied) {
    // 18 bytes asked for: 16 in SenseArea, 2 in the room behind the block.
    ASSERT_GE(o.sense.size(), 8u);
    const std::size_t n = std::min<std::size_t>(o.sense.size(), 18);
    EXPECT_EQ(0, std::memcmp(block.srb.SenseArea, o.sense.data(), std::min<std::size_t>(n, 16)));
    if (n > 16) {
      EXPECT_EQ(block.reserve[0], o.sense[16]);
      EXPECT_EQ(block.reserve[1], o.sense[17]);
    }
    EXPECT_EQ(block.reserve[2], 0xCC) << "wrote beyond SRB_SenseLen";
  } else {
    EXPECT_EQ(block.srb.SenseArea[0], 0);
    EXPECT_EQ(block.reserve[0], 0);
  }
  EXPECT_NE(messages.str().find(o.message), std::string::npos) << messages.str();
  if (o.status != SS_COMP) {
    EXPECT_FALSE(messages.str().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SgOutcome,
    ::testing::Values(
        Outcome{"Good", Result(0, 0, 0, 0, 0), {}, SS_COMP, HASTAT_OK, STATUS_GOOD, false, ""},
        Outcome{"CheckConditionFixedSense", Result(0, 0, 0, sg::kDriverSense, 2),
                sgtest::FixedSense(5, 0x26, 0), SS_ERR, HASTAT_OK, STATUS_CHKCOND, true,
                "sense 5/26/00 (illegal request: invalid field in parameter list)"},
        Outcome{"CheckConditionDescriptorSense", Result(0, 0, 0, sg::kDriverSense, 2),
                sgtest::DescriptorSense(4, 0x44, 0), SS_ERR, HASTAT_OK, STATUS_CHKCOND, true,
                "sense 4/44/00 (hardware error: internal target failure)"},
        Outcome{"CheckConditionWithoutSense",
                Result(0, 0, 0, 0, 2),
                {},
                SS_ERR,
                HASTAT_OK,
                STATUS_CHKCOND,
                false,
                "without sense data"},
        Outcome{"Busy",
                Result(0, 0, 0, 0, 8),
                {},
                SS_ERR,
                HASTAT_OK,
                STATUS_BUSY,
                false,
                "status 0x08"},
        Outcome{"HostTimeout",
                Result(0, 0, sg::kDidTimeOut, 0, 0),
                {},
                SS_ERR,
                HASTAT_COMMAND_TIMEOUT,
                STATUS_GOOD,
                false,
                "did not end within 300 s"},
        Outcome{"LayerTimeout",
                Result(sg::kSubmitTimedOut, 0, 0, 0, 0),
                {},
                SS_ERR,
                HASTAT_COMMAND_TIMEOUT,
                STATUS_GOOD,
                false,
                "did not end"},
        Outcome{"DriverTimeout",
                Result(0, 0, 0, sg::kDriverTimeout, 0),
                {},
                SS_ERR,
                HASTAT_COMMAND_TIMEOUT,
                STATUS_GOOD,
                false,
                "did not end"},
        Outcome{"HostTimeoutDespiteGoodStatusAndSense", Result(0, 0, sg::kDidTimeOut, 0, 0),
                sgtest::FixedSense(0, 0, 0), SS_ERR, HASTAT_COMMAND_TIMEOUT, STATUS_GOOD, false,
                "did not end"},
        Outcome{"NoConnect",
                Result(0, 0, sg::kDidNoConnect, 0, 0),
                {},
                SS_ERR,
                HASTAT_SEL_TO,
                STATUS_GOOD,
                false,
                "could not reach"},
        Outcome{"BusReset",
                Result(0, 0, sg::kDidReset, 0, 0),
                {},
                SS_ERR,
                HASTAT_BUS_RESET,
                STATUS_GOOD,
                false,
                "reset"},
        Outcome{"Aborted",
                Result(0, 0, sg::kDidAbort, 0, 0),
                {},
                SS_ABORTED,
                HASTAT_OK,
                STATUS_GOOD,
                false,
                "aborted"},
        Outcome{"DriverError",
                Result(0, 0, 0, 0x04, 0),
                {},
                SS_ERR,
                HASTAT_OK,
                STATUS_GOOD,
                false,
                "driver status 0x04"},
        Outcome{"RecoveredErrorIsSuccess", Result(0, 0, 0, sg::kDriverSense, 0),
                sgtest::FixedSense(1, 0x17, 1), SS_COMP, HASTAT_OK, STATUS_GOOD, false, ""},
        Outcome{"GoodStatusWithMediumError", Result(0, 0, 0, sg::kDriverSense, 0),
                sgtest::FixedSense(3, 0x11, 0), SS_ERR, HASTAT_OK, STATUS_GOOD, true,
                "sense 3/11/00 (medium error)"},
        Outcome{"ShortDataOut",
                Result(0, 0, 0, 0, 0, 1),
                {},
                SS_ERR,
                HASTAT_DO_DU,
                STATUS_GOOD,
                false,
                "took only 65534 of 65535 bytes"},
        Outcome{"DeviceGone",
                Result(-ENODEV, ENODEV, 0, 0, 0),
                {},
                SS_ERR,
                HASTAT_SEL_TO,
                STATUS_GOOD,
                false,
                "gone away"},
        Outcome{"DeviceGoneNxio",
                Result(-ENXIO, 0, 0, 0, 0),
                {},
                SS_ERR,
                HASTAT_SEL_TO,
                STATUS_GOOD,
                false,
                "gone away"},
        Outcome{"PermissionDenied",
                Result(-EACCES, EACCES, 0, 0, 0),
                {},
                SS_ERR,
                HASTAT_OK,
                STATUS_GOOD,
                false,
                "read and write access"},
        Outcome{"OtherOsError",
                Result(-EIO, EIO, 0, 0, 0),
                {},
                SS_ERR,
                HASTAT_OK,
                STATUS_GOOD,
                false,
                "pass-through call failed"},
        Outcome{"LayerRefusal",
                Result(1, 0, 0, 0, 0),
                {},
                SS_ERR,
                HASTAT_OK,
                STATUS_GOOD,
                false,
                "refused"}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

TEST_F(SgCommand, GoodInquiryDeliversItsDataAndShortDataInIsNoError) {
  auto provider = Create();
  std::vector<std::uint8_t> data(24, 0x41);
  data[0] = 0x05;
  system->answers.push_back(ScriptedAnswer{Result(0, 0, 0, 0, 0, 12), data, {}});
  Load(kInquiry, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT, 36);
  EXPECT_EQ(Send(*provider), SS_COMP);
  EXPECT_EQ(buffer[0], 0x05);
  EXPECT_EQ(buffer[23], 0x41);
  EXPECT_EQ(block.srb.SRB_BufLen, 12u) << "the residual count is reported when asked for";
  EXPECT_TRUE(messages.str().empty());
  ASSERT_EQ(system->calls.size(), 1u);
  EXPECT_EQ(system->calls[0].direction, sg::DataDirection::kIn);
  EXPECT_EQ(system->calls[0].length, 36u);
  EXPECT_EQ(system->calls[0].cdb.size(), 12u);
}

TEST_F(SgCommand, InterruptedCommandsWithoutDataOutAreSentAgain) {
  auto provider = Create();
  system->answers.push_back(ScriptedAnswer{Result(-EINTR, EINTR, 0, 0, 0), {}, {}});
  system->answers.push_back(ScriptedAnswer{Result(-EINTR, EINTR, 0, 0, 0), {}, {}});
  Load(kInquiry, SRB_DIR_IN, 36);
  EXPECT_EQ(Send(*provider), SS_COMP);
  EXPECT_EQ(system->calls.size(), 3u);
}

TEST_F(SgCommand, EndlessInterruptionsEndInAFailure) {
  auto provider = Create();
  for (int i = 0; i < 100; ++i) {
    system->answers.push_back(ScriptedAnswer{Result(-EINTR, EINTR, 0, 0, 0), {}, {}});
  }
  Load(kTray, SRB_DIR_IN, 0);
  EXPECT_EQ(Send(*provider), SS_ERR);
  EXPECT_GT(system->calls.size(), 1u);
  EXPECT_LT(system->calls.size(), 100u);
}

TEST_F(SgCommand, AnInterruptedDownloadIsNotSentTwice) {
  auto provider = Create();
  system->answers.push_back(ScriptedAnswer{Result(-EINTR, EINTR, 0, 0, 0), {}, {}});
  Load(kDownload, SRB_DIR_OUT, 65535);
  EXPECT_EQ(Send(*provider), SS_ERR);
  EXPECT_EQ(system->calls.size(), 1u);
  EXPECT_NE(messages.str().find("not sent again"), std::string::npos) << messages.str();
}

TEST_F(SgCommand, ALostDeviceIsNeverAddressedAgain) {
  auto provider = Create();
  system->answers.push_back(ScriptedAnswer{Result(-ENODEV, ENODEV, 0, 0, 0), {}, {}});
  Load(kInquiry, SRB_DIR_IN, 36);
  EXPECT_EQ(Send(*provider), SS_ERR);
  EXPECT_EQ(system->OpenCount(), 0);
  Load(kInquiry, SRB_DIR_IN, 36);
  EXPECT_EQ(Send(*provider), SS_ERR);
  EXPECT_EQ(block.srb.SRB_HaStat, HASTAT_SEL_TO);
  EXPECT_EQ(system->calls.size(), 1u);
  EXPECT_EQ(system->OpenCount(), 0) << "the node must not be opened again by name";
}

// A command the program stopped waiting for is still in the kernel: the
// device gets nothing more in this run (no abort, no reset), and its
// descriptor stays open, and held exclusively after a download, until the
// provider goes.
TEST_F(SgCommand, ACommandGivenUpOnEndsEverythingSentToThatDrive) {
  auto provider = Create();
  sg::PassThroughResult abandoned;
  abandoned.abandoned = true;
  system->answers.push_back(ScriptedAnswer{abandoned, {}, {}});
  Load(kDownload, SRB_DIR_OUT, 65535);
  EXPECT_EQ(Send(*provider), SS_ERR);
  EXPECT_EQ(block.srb.SRB_HaStat, HASTAT_COMMAND_TIMEOUT);
  EXPECT_NE(messages.str().find("0x55 did not end within 305 s; the program stopped waiting"),
            std::string::npos)
      << messages.str();
  Load(kInquiry, SRB_DIR_IN, 36);
  EXPECT_EQ(Send(*provider), SS_ABORTED) << "not sent, so not timed out";
  EXPECT_EQ(block.srb.SRB_HaStat, HASTAT_OK);
  SRB_BusDeviceReset reset{};
  reset.SRB_Cmd = SC_RESET_DEV;
  EXPECT_NE(provider->SendCommand(&reset), SS_COMP);
  EXPECT_EQ(system->calls.size(), 1u);
  EXPECT_TRUE(system->resets.empty());
  EXPECT_EQ(system->OpenCount(), 1);
  EXPECT_TRUE(system->calls[0].exclusive);
  provider.reset();
  EXPECT_EQ(system->OpenCount(), 0);
}

TEST_F(SgCommand, EachCommandGetsItsOwnTimeout) {
  auto provider = Create();
  for (const std::uint8_t* cdb : {kInquiry, kTray, kDownload}) {
    Load(cdb, cdb == kDownload ? SRB_DIR_OUT : SRB_DIR_IN, cdb == kInquiry ? 36 : 0);
    if (cdb == kDownload) block.srb.SRB_BufLen = 65535;
    Send(*provider);
  }
  ASSERT_EQ(system->calls.size(), 3u);
  EXPECT_EQ(system->calls[0].timeoutSeconds, 10);
  EXPECT_EQ(system->calls[1].timeoutSeconds, 30);
  EXPECT_EQ(system->calls[2].timeoutSeconds, 300);
  for (const auto& call : system->calls) {
    const auto limit = CommandTimeLimit(call.cdb.data());
    EXPECT_EQ(call.timeoutSeconds, (limit.count() + 999) / 1000);
    // The program's own deadline: the documented limit plus the grace period.
    EXPECT_EQ(call.waitMilliseconds, (limit + CommandWaitGrace()).count());
  }
  EXPECT_EQ(system->calls[2].waitMilliseconds, 305000);
  ScopedCommandTimeLimitOverride shorter(std::chrono::milliseconds(1500));
  Load(kDownload, SRB_DIR_OUT, 65535);
  Send(*provider);
  EXPECT_EQ(system->calls.back().timeoutSeconds, 2) << "rounded up to whole seconds";
}

// In the reprogramming window the kernel's timeout and the program's wait
// reach to the window's deadline for every command, an INQUIRY included.
TEST_F(SgCommand, InTheReprogrammingWindowTheKernelTimeoutReachesToItsDeadline) {
  auto provider = Create();
  OpenReprogrammingWindow();
  FixReprogrammingDeadline();
  Load(kInquiry, SRB_DIR_IN, 36);
  Send(*provider);
  CloseReprogrammingWindow();
  ASSERT_EQ(system->calls.size(), 1u);
  EXPECT_EQ(system->calls[0].timeoutSeconds, 300);
  EXPECT_GT(system->calls[0].waitMilliseconds, 303000);
}

TEST_F(SgCommand, DataOutReachesTheDeviceWhole) {
  auto provider = Create();
  for (std::size_t i = 0; i < 65535; ++i) buffer[i] = static_cast<std::uint8_t>(i * 7);
  Load(kDownload, SRB_DIR_OUT, 65535);
  EXPECT_EQ(Send(*provider), SS_COMP);
  ASSERT_EQ(system->calls.size(), 1u);
  ASSERT_EQ(system->calls[0].dataOut.size(), 65535u);
  EXPECT_EQ(0, std::memcmp(system->calls[0].dataOut.data(), buffer, 65535));
  EXPECT_EQ(system->calls[0].cdb, std::vector<std::uint8_t>(kDownload, kDownload + 12));
}

TEST_F(SgCommand, MalformedRequestsAreRefusedWithoutReachingTheDevice) {
  auto provider = Create();
  Load(kInquiry, SRB_DIR_IN, 36);
  block.srb.SRB_CDBLen = 0;
  EXPECT_EQ(Send(*provider), SS_INVALID_SRB);
  Load(kInquiry, SRB_DIR_IN | SRB_DIR_OUT, 36);
  EXPECT_EQ(Send(*provider), SS_INVALID_SRB);
  Load(kInquiry, 0, 36);  // data without a direction
  EXPECT_EQ(Send(*provider), SS_INVALID_SRB);
  Load(kInquiry, SRB_DIR_IN, 36);
  block.srb.SRB_BufPointer = nullptr;
  EXPECT_EQ(Send(*provider), SS_INVALID_SRB);
  Load(kInquiry, SRB_DIR_IN, 36);
  block.srb.SRB_HaId = 1;
  EXPECT_EQ(Send(*provider), SS_INVALID_HA);
  EXPECT_EQ(block.srb.SRB_Status, SS_INVALID_HA);
  EXPECT_TRUE(system->calls.empty());
}

int g_postCalls = 0;
aspi::BYTE g_statusSeenByPost = 0;
void CountPost(void* request) {
  ++g_postCalls;
  g_statusSeenByPost = static_cast<SRB_ExecSCSICmd*>(request)->SRB_Status;
}

TEST_F(SgCommand, PostingCallsTheRoutineOnceAfterTheFinalStatus) {
  auto provider = Create();
  g_postCalls = 0;
  Load(kInquiry, SRB_DIR_IN | SRB_POSTING, 36);
  block.srb.SRB_PostProc = &CountPost;
  EXPECT_EQ(Send(*provider), SS_COMP);
  EXPECT_EQ(g_postCalls, 1);
  EXPECT_EQ(g_statusSeenByPost, SS_COMP);
}

TEST_F(SgCommand, AbortFindsNothingPendingAndResetReachesTheDevice) {
  auto provider = Create();
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_ToAbort = &block.srb;
  EXPECT_EQ(provider->SendCommand(&abort), SS_ABORT_FAIL);
  EXPECT_EQ(abort.SRB_Status, SS_ABORT_FAIL);

  SRB_BusDeviceReset reset{};
  reset.SRB_Cmd = SC_RESET_DEV;
  EXPECT_EQ(provider->SendCommand(&reset), SS_COMP);
  EXPECT_EQ(reset.SRB_Status, SS_COMP);
  ASSERT_EQ(system->resets.size(), 1u);
  EXPECT_EQ(system->resets[0], sysfs.DevRoot() + "/sg0");

  reset.SRB_Target = 5;
  EXPECT_EQ(provider->SendCommand(&reset), SS_NO_DEVICE);
  EXPECT_EQ(system->resets.size(), 1u);

  SRB_Header other{};
  other.SRB_Cmd = SC_HA_INQUIRY;
  EXPECT_EQ(provider->SendCommand(&other), SS_INVALID_CMD);
}

TEST(SgSense, DescribesFixedAndDescriptorSenseAlike) {
  const auto fixed = sgtest::FixedSense(5, 0x24, 0);
  const auto descriptor = sgtest::DescriptorSense(5, 0x24, 0);
  const std::string a = DescribeSenseData(fixed.data(), static_cast<int>(fixed.size()));
  const std::string b = DescribeSenseData(descriptor.data(), static_cast<int>(descriptor.size()));
  // One decoder for every transport and front end.
  EXPECT_EQ(a, "sense 5/24/00 (illegal request: invalid field in CDB)");
  EXPECT_EQ(a, b);
  const std::uint8_t none[18] = {};
  EXPECT_EQ(DescribeSenseData(none, 18), "");
}

}  // namespace
