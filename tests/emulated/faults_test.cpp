// Every fault a device can be told to show, as AspiDevice sees it.
#include <gtest/gtest.h>

#include "aspi/command_time_limits.h"
#include "aspi/srb_access.h"
#include "tests/support/bus_fixture.h"

namespace {

enum class Command { kInquiry, kTray, kDownload };

struct FaultCase {
  const char* name;
  const char* layout;
  Command command;
  bool succeeds;
  std::uint8_t status;  // SRB_Status when ExecuteWait returned
  std::uint8_t sense0;
  Completion completion;
};

class Faults : public BusFixture, public testing::WithParamInterface<FaultCase> {
 protected:
  bool Run(Command command) {
    switch (command) {
      case Command::kInquiry:
        return Inquiry();
      case Command::kTray:
        return OpenTray();
      case Command::kDownload:
        return Download(MakeImage("1.10"));
    }
    return false;
  }
};

TEST_P(Faults, ShowAsDescribed) {
  Build(GetParam().layout);
  // Only a command that never ends waits the limit out; the others get one that a loaded
  // machine cannot reach (a slow device answers after 10 ms).
  const bool hangs = GetParam().completion == Completion::kNever;
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(hangs ? 40 : 5000));
  EXPECT_EQ(Run(GetParam().command), GetParam().succeeds);
  EXPECT_EQ(LoadSrbByte(device_->srb.SRB_Status), GetParam().status);
  EXPECT_EQ(device_->srb.SenseArea[0], GetParam().sense0);
  const LoggedCommand sent = bus_->CommandsTo(0, 0).back();
  EXPECT_EQ(sent.completion, GetParam().completion);
}

INSTANTIATE_TEST_SUITE_P(
    Each, Faults,
    testing::Values(FaultCase{"Sense", "0:0=drive+fault=sense", Command::kInquiry, false, SS_ERR,
                              0x70, Completion::kImmediate},
                    FaultCase{"Error", "0:0=drive+fault=error", Command::kInquiry, false, SS_ERR, 0,
                              Completion::kImmediate},
                    FaultCase{"PendingSense", "0:0=drive+fault=pending-sense", Command::kInquiry,
                              false, SS_PENDING, 0x70, Completion::kPendingSense},
                    FaultCase{"Hang", "0:0=drive+fault=hang", Command::kInquiry, false, SS_ABORTED,
                              0, Completion::kNever},
                    FaultCase{"Slow", "0:0=drive+fault=slow+delay=10", Command::kInquiry, true,
                              SS_COMP, 0, Completion::kLater},
                    FaultCase{"RefuseDownload", "0:0=drive+fault=refuse-download",
                              Command::kDownload, false, SS_ERR, 0x70, Completion::kImmediate},
                    FaultCase{"SenseOnTheTrayOnly", "0:0=drive+fault=sense-tray", Command::kTray,
                              false, SS_ERR, 0x70, Completion::kImmediate},
                    FaultCase{"SenseOnTheTraySparesInquiry", "0:0=drive+fault=sense-tray",
                              Command::kInquiry, true, SS_COMP, 0, Completion::kImmediate},
                    FaultCase{"HangOnInquirySparesTheTray", "0:0=drive+fault=hang-inquiry",
                              Command::kTray, true, SS_COMP, 0, Completion::kImmediate},
                    FaultCase{"ErrorOnDownload", "0:0=drive+fault=error-download",
                              Command::kDownload, false, SS_ERR, 0, Completion::kImmediate},
                    FaultCase{"SlowDownload", "0:0=drive+fault=slow-download+delay=10",
                              Command::kDownload, true, SS_COMP, 0, Completion::kLater}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(BusFixture, ShortInquiryFillsOnlyTheBytesItWasToldTo) {
  Build("0:0=drive+inquiry-bytes=20,0:1=drive+fault=short-inquiry");
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(bus_->Log().back().dataInLength, 20u);
  EXPECT_EQ(device_->dataBuffer[0], 0x05);
  EXPECT_EQ(device_->dataBuffer[19], 'R');  // "CD-ROM XPM-3177K" starts at byte 16
  EXPECT_EQ(device_->dataBuffer[20], 0);
  char model[25];
  EXPECT_FALSE(device_->GetInquiryStrings(model, nullptr));

  At(0, 1);
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(bus_->Log().back().dataInLength, kDefaultShortInquiryBytes);
}

TEST_F(BusFixture, RefusedDownloadIsAHardwareErrorAndChangesNothing) {
  Build("0:0=drive+fault=refuse-download");
  EXPECT_FALSE(Download(MakeImage("1.10")));
  EXPECT_EQ(SenseKey(), 0x04);
  EXPECT_EQ(bus_->Device(0, 0)->DownloadCount(), 0);
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(Revision(), "1.00");
}

TEST_F(BusFixture, AfterADownloadAHangingDriveAnswersNothingEvenOnceReprogrammed) {
  Build("0:0=drive+fault=hang-after-download+busy=100");
  ASSERT_TRUE(Download(MakeImage("1.10")));
  now_ += 100000;
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(20));
  EXPECT_FALSE(Inquiry());
  EXPECT_EQ(device_->srb.SRB_Status, SS_ABORTED);
  EXPECT_FALSE(OpenTray());
  EXPECT_TRUE(bus_->Device(0, 0)->Hung());
  // INQUIRY, abort, START STOP UNIT, abort after the download.
  const auto& log = bus_->Log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2].requestKind, SC_ABORT_SRB);
  EXPECT_EQ(log[4].requestKind, SC_ABORT_SRB);
}

TEST_F(BusFixture, FaultsStayWithTheirDevice) {
  Build("0:0=drive+fault=sense,0:1=drive");
  EXPECT_FALSE(Inquiry());
  At(0, 1);
  EXPECT_TRUE(Inquiry());
}

TEST_F(BusFixture, OtherThreadCompletionOfADownloadStillChecksAndFlashes) {
  Build("0:0=drive+fault=slow+delay=15+busy=0");
  ASSERT_TRUE(Download(MakeImage("1.10")));
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(Revision(), "1.10");
  LoadDownload(MakeImage("2.00"));
  ++device_->commandBlock[6];
  EXPECT_FALSE(device_->ExecuteWait());
  EXPECT_EQ(SenseKey(), 0x05);
}

TEST_F(BusFixture, OtherThreadCompletionIsStoppedWhenTheBusGoesAway) {
  Build("0:0=drive+fault=slow+delay=5000");
  device_->SetCommand(kInquiryBlock, SRB_DIR_IN, 36);
  device_->ExecutePosted();
  const auto start = std::chrono::steady_clock::now();
  InstallAspiProvider(nullptr);
  bus_.reset();  // joins its thread and ends the command
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(device_->srb.SRB_Status, SS_ABORTED);
  EXPECT_EQ(CommandPending(), 0);  // its completion routine ran
}

}  // namespace
