// AspiDevice sending the system's commands to the emulated bus.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "aspi/aspi_device.h"
#include "aspi/command_time_limits.h"
#include "aspi/srb_access.h"
#include "tests/support/bus_fixture.h"
#include "transports/emulated/emulated_bus.h"

namespace {

// The bus on the real time: these tests time commands and threads.
class DeviceOnBus : public BusFixture {
 protected:
  void Build(std::string_view layout) { BusFixture::Build(layout, false); }
  void TearDown() override {
    BusFixture::TearDown();
    StorePendingFlag(g_commandPending, 0);
  }
  // Polls the flag until it drops, for at most two seconds.
  static bool PendingDrops() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (CommandPending() != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }
};

TEST_F(DeviceOnBus, TheSystemsCommandsReachTheDriveAsLoaded) {
  Build("");
  ASSERT_TRUE(device_->IsAvailable());
  ASSERT_TRUE(Inquiry());
  char model[25];
  char revision[5];
  EXPECT_TRUE(device_->GetInquiryStrings(model, revision));
  EXPECT_STREQ(model, "QTR5    CD-ROM XPM-3177K");
  EXPECT_STREQ(revision, "1.00");

  ASSERT_TRUE(OpenTray());
  EmulatedDevice* drive = bus_->Device(0, 0);
  EXPECT_TRUE(drive->TrayOpen());
  const LoggedCommand& tray = drive->Log().back();
  EXPECT_EQ(tray.cdb[0], 0x1B);
  EXPECT_EQ(tray.cdb[4], 0x02);  // the byte changed after SetCommand
  EXPECT_EQ(tray.cdbLength, 12);
  EXPECT_EQ(tray.flags, SRB_DIR_IN);
}

TEST_F(DeviceOnBus, SetCommand10SendsOnlyTenCommandBytes) {
  Build("");
  const std::uint8_t leftover[12] = {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0x99, 0x98};
  device_->SetCommand(leftover, SRB_DIR_IN, 36);
  ASSERT_TRUE(device_->ExecuteWait());
  device_->SetCommand10(kInquiryBlock, SRB_DIR_IN, 36);
  ASSERT_TRUE(device_->ExecuteWait());
  const LoggedCommand& sent = bus_->Log().back();
  EXPECT_EQ(sent.cdbLength, 10);
  EXPECT_EQ(sent.cdb[10], 0);  // what the device received: nothing beyond ten bytes
  EXPECT_EQ(sent.cdb[11], 0);
  EXPECT_EQ(device_->srb.CDBByte[10], 0x99);  // still in the block, unsent
}

TEST_F(DeviceOnBus, SenseOfAFailedCommandDoesNotSpoilTheNextOne) {
  Build("0:0=drive+fault=sense-tray");
  EXPECT_FALSE(OpenTray());
  EXPECT_EQ(device_->srb.SenseArea[0], 0x70);
  EXPECT_EQ(device_->srb.SenseArea[2], 0x04);
  EXPECT_TRUE(Inquiry());
  EXPECT_EQ(device_->srb.SenseArea[0], 0);
}

TEST_F(DeviceOnBus, EmptyAddressesAndMissingAdaptersFail) {
  Build("0:0=drive");
  device_->SelectTarget(3);
  EXPECT_FALSE(Inquiry());
  EXPECT_EQ(device_->srb.SRB_Status, SS_NO_DEVICE);
  EXPECT_EQ(device_->srb.SRB_HaStat, HASTAT_SEL_TO);
  device_->SelectAdapter(1);
  device_->SelectTarget(0);
  EXPECT_FALSE(Inquiry());
  EXPECT_EQ(device_->srb.SRB_Status, SS_INVALID_HA);
}

TEST_F(DeviceOnBus, AnAbsentServiceLeavesTheDeviceUnavailable) {
  Build("absent");
  EXPECT_FALSE(device_->IsAvailable());
  EXPECT_FALSE(Inquiry());
  EXPECT_TRUE(bus_->Log().empty());
}

TEST_F(DeviceOnBus, ExecuteWaitLeavesTheFlagDownOnEveryPath) {
  Build("0:0=drive+fault=sense-tray,0:1=drive+fault=hang,0:2=drive+fault=pending-sense");
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(30));
  struct Path {
    std::uint8_t target;
    bool inquiry;
    bool expected;
  };
  for (const Path& path : {Path{0, true, true}, Path{0, false, false}, Path{1, true, false},
                           Path{2, true, false}, Path{5, true, false}}) {
    device_->SelectTarget(path.target);
    StorePendingFlag(g_commandPending, 1);
    EXPECT_EQ(path.inquiry ? Inquiry() : OpenTray(), path.expected) << int(path.target);
    EXPECT_EQ(CommandPending(), 0) << int(path.target);
  }
}

int g_hookCalls = 0;
void CountHookCall() {
  ++g_hookCalls;
}

// A command that never ends fails at its time limit. Outside the
// reprogramming window it is aborted; inside, the drive may be rewriting its
// firmware: it is left to the service, and the waiting thread answers the
// wait hook meanwhile.
TEST_F(DeviceOnBus, ACommandThatNeverEndsIsAbortedAtItsTimeLimitOnlyOutsideTheWindow) {
  for (const bool inWindow : {false, true}) {
    SCOPED_TRACE(inWindow ? "in the window" : "outside the window");
    Build("0:0=drive+fault=hang-inquiry");
    ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(60));
    g_hookCalls = 0;
    if (inWindow) OpenReprogrammingWindow();
    SetCommandWaitHook(CountHookCall);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Inquiry());
    SetCommandWaitHook(nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_GE(g_hookCalls, 1);
    EXPECT_TRUE(device_->lastCommandTimedOut);
    const LoggedCommand& last = bus_->Log().back();
    if (inWindow) {
      EXPECT_EQ(device_->srb.SRB_Status, SS_PENDING);
      EXPECT_EQ(last.requestKind, SC_EXEC_SCSI_CMD);
      CloseReprogrammingWindow();
      continue;
    }
    EXPECT_EQ(device_->srb.SRB_Status, SS_ABORTED);
    EXPECT_EQ(last.requestKind, SC_ABORT_SRB);
    EXPECT_EQ(last.request, &device_->srb);
    EXPECT_EQ(last.status, SS_COMP);
    // The drive itself still answers other commands.
    EXPECT_TRUE(OpenTray());
    TearDown();
  }
}

TEST_F(DeviceOnBus, PostedCommandThatEndsBeforeTheHandOverReturnsIsNotLost) {
  Build("");
  device_->SetCommand(kInquiryBlock, SRB_DIR_IN, 36);
  device_->ExecutePosted();  // the emulated drive answers INQUIRY at once
  EXPECT_EQ(CommandPending(), 0);
  EXPECT_EQ(device_->CheckStatus(), 1);
  EXPECT_EQ(device_->dataBuffer[0], 0x05);
}

TEST_F(DeviceOnBus, PostedCommandThatNeverEndsKeepsTheFlagUntilAborted) {
  Build("0:0=drive+fault=hang");
  device_->SetCommand(kInquiryBlock, SRB_DIR_IN, 36);
  device_->ExecutePosted();
  EXPECT_EQ(CommandPending(), 1);
  EXPECT_EQ(device_->CheckStatus(), 0);
  EXPECT_TRUE(device_->AbortCommand());
  EXPECT_EQ(CommandPending(), 0);
  EXPECT_EQ(device_->CheckStatus(), 2);
  EXPECT_FALSE(device_->AbortCommand());  // nothing left to abort
}

TEST_F(DeviceOnBus, ResetReachesOnlyAPresentDevice) {
  Build("0:0=drive");
  EXPECT_TRUE(device_->ResetDevice());
  device_->SelectTarget(4);
  EXPECT_FALSE(device_->ResetDevice());
  EXPECT_EQ(bus_->Log().back().requestKind, SC_RESET_DEV);
}

// Completion on the bus's own thread; these also run under ThreadSanitizer.
TEST_F(DeviceOnBus, OtherThreadCompletionIsSeenByThePollingWithItsData) {
  Build("0:0=drive+fault=slow+delay=30");
  std::memset(device_->dataBuffer, 0, 48);
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(bus_->Log().back().completion, Completion::kLater);
  char model[25];
  char revision[5];
  EXPECT_TRUE(device_->GetInquiryStrings(model, revision));
  EXPECT_STREQ(revision, "1.00");
}

TEST_F(DeviceOnBus, OtherThreadCompletionWithSenseIsAFailure) {
  Build("0:0=drive+fault=slow+fault=sense-inquiry+delay=20");
  EXPECT_FALSE(Inquiry());
  EXPECT_EQ(device_->srb.SenseArea[2], 0x04);
  EXPECT_EQ(CommandPending(), 0);
  EXPECT_TRUE(OpenTray());
}

TEST_F(DeviceOnBus, OtherThreadCompletionOfAPostedCommandLowersTheFlag) {
  Build("0:0=drive+fault=slow+delay=20");
  device_->SetCommand(kInquiryBlock, SRB_DIR_IN, 36);
  device_->ExecutePosted();
  EXPECT_TRUE(PendingDrops());
  EXPECT_EQ(device_->CheckStatus(), 1);
  EXPECT_EQ(device_->dataBuffer[0], 0x05);
  // The next command may follow at once on the same block.
  EXPECT_TRUE(Inquiry());
}

TEST_F(DeviceOnBus, OtherThreadCompletionTooSlowForTheLimitIsAbortedAndJoined) {
  Build("0:0=drive+fault=slow+delay=5000");
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(30));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Inquiry());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(device_->srb.SRB_Status, SS_ABORTED);
}

TEST_F(DeviceOnBus, OtherThreadCompletionStillRunningWhenTheDeviceGoesAway) {
  Build("0:0=drive+fault=slow+delay=5000");
  device_->SetCommand(kInquiryBlock, SRB_DIR_IN, 36);
  device_->ExecutePosted();
  const auto start = std::chrono::steady_clock::now();
  device_.reset();  // takes the block back from the bus before releasing it
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(CommandPending(), 0);
  EXPECT_EQ(bus_->Log().back().requestKind, SC_ABORT_SRB);
}

}  // namespace
