// How one pass-through outcome becomes the final state of the request block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "aspi/command_time_limits.h"
#include "transports/windows/spti_request.h"

namespace {

// A request block with room behind it, as AspiDevice lays it out.
struct Block {
  SRB_ExecSCSICmd srb;
  std::uint8_t reserve[64];
};

constexpr UCHAR kGood = 0x00;
constexpr UCHAR kCheckCondition = 0x02;
constexpr UCHAR kBusy = 0x08;

struct Outcome {
  const char* name;
  bool ioctlSucceeded;
  DWORD error;
  UCHAR dataIn;       // direction the request was sent with
  ULONG transferred;  // DataTransferLength after the call (requested: 64)
  UCHAR scsiStatus;
  bool senseWritten;  // the drive's sense bytes are in the request
  BYTE expectStatus;
  BYTE expectHaStat;
  bool expectSenseCopied;
};

class SptiOutcomeTest : public ::testing::TestWithParam<Outcome> {};

TEST_P(SptiOutcomeTest, FinalStatusFollowsTheOutcome) {
  const Outcome& o = GetParam();
  Block block;
  std::memset(&block, 0, sizeof block);
  block.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  block.srb.SRB_Status = SS_COMP;  // left over from an earlier command
  block.srb.SRB_BufLen = 64;
  block.srb.SRB_SenseLen = 18;
  block.srb.SRB_Flags = o.dataIn == SCSI_IOCTL_DATA_OUT ? SRB_DIR_OUT : SRB_DIR_IN;

  spti::SptiRequest request;
  std::memset(&request, 0, sizeof request);
  request.sptd.DataIn = o.dataIn;
  request.sptd.DataTransferLength = o.transferred;
  request.sptd.ScsiStatus = o.scsiStatus;
  if (o.senseWritten) {
    for (int i = 0; i < 32; ++i) request.sense[i] = static_cast<UCHAR>(0x70 + i);
  }

  spti::StoreSptiOutcome(o.ioctlSucceeded, o.error, request, block.srb);

  EXPECT_EQ(block.srb.SRB_Status, o.expectStatus);
  EXPECT_EQ(block.srb.SRB_HaStat, o.expectHaStat);
  if (o.ioctlSucceeded) {
    EXPECT_EQ(block.srb.SRB_TargStat, o.scsiStatus);
  }
  if (o.expectSenseCopied) {
    // 18 bytes from SenseArea on: 16 in the published area, 2 behind it.
    EXPECT_EQ(block.srb.SenseArea[0], 0x70);
    EXPECT_EQ(block.srb.SenseArea[15], 0x7F);
    EXPECT_EQ(block.reserve[0], 0x80);
    EXPECT_EQ(block.reserve[1], 0x81);
    EXPECT_EQ(block.reserve[2], 0x00) << "only SRB_SenseLen bytes are written";
  } else {
    EXPECT_EQ(block.srb.SenseArea[0], 0x00);
    EXPECT_EQ(block.reserve[0], 0x00);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SptiOutcomeTest,
    ::testing::Values(Outcome{"CleanRead", true, 0, SCSI_IOCTL_DATA_IN, 64, kGood, false, SS_COMP,
                              HASTAT_OK, false},
                      Outcome{"ShortReadIsNormal", true, 0, SCSI_IOCTL_DATA_IN, 36, kGood, false,
                              SS_COMP, HASTAT_OK, false},
                      Outcome{"CleanWrite", true, 0, SCSI_IOCTL_DATA_OUT, 64, kGood, false, SS_COMP,
                              HASTAT_OK, false},
                      Outcome{"ShortWriteFails", true, 0, SCSI_IOCTL_DATA_OUT, 32, kGood, false,
                              SS_ERR, HASTAT_DO_DU, false},
                      Outcome{"CheckConditionWithSense", true, 0, SCSI_IOCTL_DATA_IN, 0,
                              kCheckCondition, true, SS_ERR, HASTAT_OK, true},
                      Outcome{"CheckConditionWithoutSense", true, 0, SCSI_IOCTL_DATA_IN, 0,
                              kCheckCondition, false, SS_ERR, HASTAT_OK, false},
                      Outcome{"GoodStatusButSense", true, 0, SCSI_IOCTL_DATA_IN, 64, kGood, true,
                              SS_ERR, HASTAT_OK, true},
                      Outcome{"Busy", true, 0, SCSI_IOCTL_DATA_IN, 0, kBusy, false, SS_ERR,
                              HASTAT_OK, false},
                      Outcome{"Timeout", false, ERROR_SEM_TIMEOUT, SCSI_IOCTL_DATA_OUT, 0, kGood,
                              false, SS_ERR, HASTAT_COMMAND_TIMEOUT, false},
                      Outcome{"TimeoutIgnoresStaleSense", false, ERROR_TIMEOUT, SCSI_IOCTL_DATA_IN,
                              0, kCheckCondition, true, SS_ERR, HASTAT_COMMAND_TIMEOUT, false},
                      Outcome{"DeviceGone", false, ERROR_DEV_NOT_EXIST, SCSI_IOCTL_DATA_IN, 0,
                              kGood, false, SS_ERR, HASTAT_SEL_TO, false},
                      Outcome{"OtherSystemError", false, ERROR_ACCESS_DENIED, SCSI_IOCTL_DATA_IN,
                              64, kGood, false, SS_ERR, HASTAT_OK, false}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return info.param.name; });

struct GoodStatusSense {
  UCHAR scsiStatus;
  UCHAR sense[3];  // response code and the bytes that carry the sense key
  BYTE expectStatus;
};

TEST(SptiOutcome, GoodStatusPassesOnlyWithoutSenseOrWithARecoveredError) {
  const GoodStatusSense cases[] = {
      {0x04, {0x00, 0, 0}, SS_COMP},      // CONDITION MET counts as good
      {kGood, {0x70, 0, 0x01}, SS_COMP},  // fixed format, RECOVERED ERROR
      {kGood, {0x70, 0, 0x00}, SS_COMP},  // fixed format, NO SENSE
      {kGood, {0x72, 0x01, 0}, SS_COMP},  // descriptor format, RECOVERED ERROR
      {kGood, {0x70, 0, 0x06}, SS_ERR},   // fixed format, UNIT ATTENTION
      {kGood, {0x72, 0x03, 0}, SS_ERR},   // descriptor format, MEDIUM ERROR
      {0x04, {0x71, 0, 0x04}, SS_ERR},    // deferred HARDWARE ERROR
  };
  for (const GoodStatusSense& c : cases) {
    Block block;
    std::memset(&block, 0, sizeof block);
    block.srb.SRB_SenseLen = 18;
    spti::SptiRequest request;
    std::memset(&request, 0, sizeof request);
    request.sptd.ScsiStatus = c.scsiStatus;
    std::memcpy(request.sense, c.sense, sizeof c.sense);
    spti::StoreSptiOutcome(true, 0, request, block.srb);
    EXPECT_EQ(block.srb.SRB_Status, c.expectStatus)
        << "status " << int(c.scsiStatus) << " sense " << int(c.sense[0]);
    // What passes leaves no sense behind, or the device object would still
    // take it for a failure.
    EXPECT_EQ(block.srb.SenseArea[0] != 0, c.expectStatus == SS_ERR);
  }
}

TEST(SptiOutcome, SenseCopyStopsAtTheRequestedLength) {
  Block block;
  std::memset(&block, 0xEE, sizeof block);
  block.srb.SRB_SenseLen = 4;
  block.srb.SRB_BufLen = 0;
  spti::SptiRequest request;
  std::memset(&request, 0, sizeof request);
  request.sptd.ScsiStatus = kCheckCondition;
  request.sense[0] = 0x70;
  request.sense[2] = 0x05;
  request.sense[4] = 0x99;
  spti::StoreSptiOutcome(true, 0, request, block.srb);
  EXPECT_EQ(block.srb.SRB_Status, SS_ERR);
  EXPECT_EQ(block.srb.SenseArea[0], 0x70);
  EXPECT_EQ(block.srb.SenseArea[2], 0x05);
  EXPECT_EQ(block.srb.SenseArea[4], 0xEE);
}

TEST(SptiOutcome, PostingCallsTheRoutineOnceAfterTheFinalStatus) {
  static int calls = 0;
  static BYTE statusSeen = 0;
  calls = 0;
  Block block;
  std::memset(&block, 0, sizeof block);
  block.srb.SRB_Flags = SRB_DIR_IN | SRB_POSTING;
  block.srb.SRB_PostProc = [](void* srb) {
    ++calls;
    statusSeen = static_cast<SRB_ExecSCSICmd*>(srb)->SRB_Status;
  };
  spti::SptiRequest request;
  std::memset(&request, 0, sizeof request);
  spti::StoreSptiOutcome(true, 0, request, block.srb);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(statusSeen, SS_COMP);
}

struct Direction {
  BYTE flags;
  DWORD length;
  UCHAR expectDataIn;
};

TEST(SptiRequestBuilding, DirectionLengthAddressAndCommandBytes) {
  std::uint8_t buffer[96];
  const Direction cases[] = {
      {SRB_DIR_IN, 36, SCSI_IOCTL_DATA_IN},
      {SRB_DIR_OUT, 96, SCSI_IOCTL_DATA_OUT},
      {SRB_DIR_IN, 0, SCSI_IOCTL_DATA_UNSPECIFIED},
  };
  SCSI_ADDRESS address{};
  address.PortNumber = 3;
  address.PathId = 1;
  address.TargetId = 5;
  address.Lun = 0;
  for (const Direction& c : cases) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Flags = c.flags;
    srb.SRB_BufLen = c.length;
    srb.SRB_BufPointer = buffer;
    srb.SRB_CDBLen = 12;
    for (int i = 0; i < 16; ++i) srb.CDBByte[i] = static_cast<BYTE>(0x12 + i);
    spti::SptiRequest request;
    std::memset(&request, 0xCC, sizeof request);
    spti::BuildSptiRequest(srb, address, request);
    EXPECT_EQ(request.sptd.DataIn, c.expectDataIn);
    EXPECT_EQ(request.sptd.DataTransferLength, c.length);
    EXPECT_EQ(request.sptd.DataBuffer, c.length ? static_cast<void*>(buffer) : nullptr);
    EXPECT_EQ(request.sptd.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(request.sptd.PathId, 1);
    EXPECT_EQ(request.sptd.TargetId, 5);
    EXPECT_EQ(request.sptd.CdbLength, 12);
    EXPECT_EQ(0, std::memcmp(request.sptd.Cdb, srb.CDBByte, 12));
    EXPECT_EQ(request.sptd.Cdb[12], 0) << "bytes beyond the command length are not sent";
    EXPECT_EQ(request.sptd.SenseInfoOffset, offsetof(spti::SptiRequest, sense));
    EXPECT_EQ(request.sptd.SenseInfoLength, sizeof request.sense);
    EXPECT_EQ(request.sense[0], 0) << "the sense buffer starts cleared";
  }
}

TEST(SptiRequestBuilding, TimeoutIsTheCommandTimeLimitInWholeSeconds) {
  SRB_ExecSCSICmd srb{};
  srb.SRB_CDBLen = 12;
  SCSI_ADDRESS address{};
  spti::SptiRequest request;
  const std::uint8_t commands[] = {0x12, 0x1B, 0x55, 0x00};
  for (std::uint8_t opcode : commands) {
    srb.CDBByte[0] = opcode;
    spti::BuildSptiRequest(srb, address, request);
    const auto limit = CommandTimeLimit(srb.CDBByte).count();
    EXPECT_EQ(request.sptd.TimeOutValue, static_cast<ULONG>((limit + 999) / 1000))
        << "opcode " << int(opcode);
  }
  {
    ScopedCommandTimeLimitOverride shorter(std::chrono::milliseconds(1500));
    spti::BuildSptiRequest(srb, address, request);
    EXPECT_EQ(request.sptd.TimeOutValue, 2u) << "rounded up, never cut short";
  }
  {
    ScopedCommandTimeLimitOverride none(std::chrono::milliseconds(0));
    spti::BuildSptiRequest(srb, address, request);
    EXPECT_EQ(request.sptd.TimeOutValue, 1u) << "at least one second";
  }
}

}  // namespace
