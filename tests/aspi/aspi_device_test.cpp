// AspiDevice against a provider whose answers the tests write.
#include "aspi/aspi_device.h"

#include <gtest/gtest.h>

#include <thread>

#include <cstring>
#include <ostream>
#include <string>

#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"
#include "tests/support/scripted_provider.h"
#include "transports/emulated/device_model.h"  // FixedSense

namespace {

const std::uint8_t kInquiry[12] = {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0};
const std::uint8_t kStartStop[12] = {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

std::vector<std::uint8_t> Sense(std::size_t length, std::uint8_t fill) {
  return std::vector<std::uint8_t>(length, fill);
}

TEST(AspiEntryPoints, WithoutAProviderAnswerAsAMissingServiceAndLeaveTheBlockAlone) {
  InstallAspiProvider(nullptr);
  EXPECT_NE((GetASPI32SupportInfo() >> 8) & 0xFF, SS_COMP);
  EXPECT_EQ(GetASPI32SupportInfo() & 0xFF, 0u);

  SRB_ExecSCSICmd block;
  std::memset(&block, 0xAB, sizeof block);
  EXPECT_EQ(SendASPI32Command(&block), SS_NO_ASPI);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&block);
  for (std::size_t i = 0; i < sizeof block; ++i) ASSERT_EQ(bytes[i], 0xAB) << "byte " << i;
}

struct SupportCase {
  aspi::DWORD info;
  std::uint8_t adapters;
};

class AspiDeviceSupportInfo : public testing::TestWithParam<SupportCase> {};

TEST_P(AspiDeviceSupportInfo, AdapterCountComesOnlyFromAReadyService) {
  ScriptedProvider provider;
  provider.supportInfo = GetParam().info;
  AspiDevice device;
  EXPECT_EQ(provider.supportInfoCalls, 1);
  EXPECT_EQ(device.GetAdapterCount(), GetParam().adapters);
  EXPECT_EQ(device.IsAvailable(), GetParam().adapters != 0);
  ASSERT_NE(device.dataBuffer, nullptr);
  EXPECT_EQ(device.dataBuffer[0], 0);
  EXPECT_EQ(device.adapterId, 0);
  EXPECT_EQ(device.targetId, 0);
  EXPECT_EQ(device.commandLength, 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, AspiDeviceSupportInfo,
                         testing::Values(SupportCase{(SS_COMP << 8) | 2, 2},
                                         SupportCase{(SS_COMP << 8) | 0, 0},
                                         SupportCase{(SS_FAILED_INIT << 8) | 3, 0},
                                         SupportCase{(SS_NO_ADAPTERS << 8) | 1, 0},
                                         SupportCase{0x00000005, 0}));

TEST(AspiDeviceMemory, AnUnobtainableBufferMakesTheDeviceUnavailableAndNothingIsSent) {
  ScriptedProvider provider;
  ScopedDataBufferAllocationFailure failure;
  AspiDevice device;
  EXPECT_EQ(device.dataBuffer, nullptr);
  EXPECT_EQ(device.GetAdapterCount(), 0);
  EXPECT_FALSE(device.IsAvailable());
  EXPECT_EQ(provider.supportInfoCalls, 0);

  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  EXPECT_FALSE(device.ExecuteWait());
  device.ExecutePosted();
  EXPECT_EQ(CommandPending(), 0);
  EXPECT_TRUE(provider.received.empty());

  char model[25] = "stale";
  char revision[5] = "old";
  EXPECT_FALSE(device.GetInquiryStrings(model, revision));
  EXPECT_STREQ(model, "");
  EXPECT_STREQ(revision, "");
}

struct StatusCase {
  std::uint8_t status;
  std::uint8_t sense0;
  int expected;
  std::uint8_t targStat = STATUS_GOOD;
  std::uint8_t haStat = HASTAT_OK;
};

class CheckStatusTable : public testing::TestWithParam<StatusCase> {};

// Completed well only with a good status on every layer: the request, the
// target and the host adapter.
TEST_P(CheckStatusTable, StatusTargetHostAndFirstSenseByteDecide) {
  ScriptedProvider provider;
  AspiDevice device;
  device.srb.SRB_Status = GetParam().status;
  device.srb.SenseArea[0] = GetParam().sense0;
  device.srb.SRB_TargStat = GetParam().targStat;
  device.srb.SRB_HaStat = GetParam().haStat;
  EXPECT_EQ(device.CheckStatus(), GetParam().expected);
  if (GetParam().expected != 0) {
    EXPECT_EQ(LastCommandFailure(device).failed, GetParam().expected == 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Combinations, CheckStatusTable,
                         testing::Values(StatusCase{SS_PENDING, 0, 0}, StatusCase{SS_COMP, 0, 1},
                                         StatusCase{SS_ERR, 0, 2}, StatusCase{SS_ABORTED, 0, 2},
                                         StatusCase{SS_NO_DEVICE, 0, 2},
                                         StatusCase{SS_PENDING, 0x70, 2},
                                         StatusCase{SS_COMP, 0x70, 2}, StatusCase{SS_COMP, 0x01, 2},
                                         StatusCase{SS_COMP, 0, 2, STATUS_CHKCOND},
                                         StatusCase{SS_COMP, 0, 2, STATUS_BUSY},
                                         StatusCase{SS_COMP, 0, 2, 0x18},
                                         StatusCase{SS_COMP, 0, 1, 0x04},
                                         StatusCase{SS_COMP, 0, 2, STATUS_GOOD, HASTAT_SEL_TO},
                                         StatusCase{SS_COMP, 0, 2, STATUS_GOOD, HASTAT_DO_DU},
                                         StatusCase{SS_PENDING, 0, 0, STATUS_BUSY}));

TEST(ExecuteWait, FillsTheRequestBlockFromTheLoadedCommand) {
  ScriptedProvider provider;
  provider.supportInfo = (SS_COMP << 8) | 4;
  AspiDevice device;
  device.SelectAdapter(3);
  device.SelectTarget(6);
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  device.commandBlock[1] = 0x5A;  // changed after loading: must be what is sent
  ASSERT_TRUE(device.ExecuteWait());
  ASSERT_EQ(provider.received.size(), 1u);
  const SRB_ExecSCSICmd& sent = provider.received[0].exec;
  EXPECT_EQ(provider.received[0].address, &device.srb);
  EXPECT_EQ(sent.SRB_Cmd, SC_EXEC_SCSI_CMD);
  EXPECT_EQ(sent.SRB_Status, SS_PENDING);
  EXPECT_EQ(sent.SRB_HaId, 3);
  EXPECT_EQ(sent.SRB_Target, 6);
  EXPECT_EQ(sent.SRB_Lun, 0);
  EXPECT_EQ(sent.SRB_Flags, SRB_DIR_IN);
  // Packed fields are copied out before they are compared.
  const std::uint32_t bufferLength = sent.SRB_BufLen;
  const std::uint8_t* bufferPointer = sent.SRB_BufPointer;
  EXPECT_EQ(bufferLength, 36u);
  EXPECT_EQ(bufferPointer, device.dataBuffer);
  EXPECT_EQ(sent.SRB_SenseLen, 18);
  EXPECT_EQ(sent.SRB_CDBLen, 12);
  EXPECT_EQ(sent.CDBByte[0], 0x12);
  EXPECT_EQ(sent.CDBByte[1], 0x5A);
  EXPECT_EQ(sent.CDBByte[4], 0x24);
}

TEST(ExecuteWait, SetCommand10SendsTenBytesAndLeavesTheRestOfTheBlockUntouched) {
  ScriptedProvider provider;
  AspiDevice device;
  std::uint8_t twelve[12];
  for (int i = 0; i < 12; ++i) twelve[i] = static_cast<std::uint8_t>(0xA0 + i);
  device.SetCommand(twelve, SRB_DIR_IN, 0);
  ASSERT_TRUE(device.ExecuteWait());

  const std::uint8_t ten[12] = {0x25, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x77, 0x77};
  device.SetCommand10(ten, SRB_DIR_OUT, 8);
  EXPECT_EQ(device.commandLength, 10);
  EXPECT_EQ(device.commandBlock[10], 0xAA);  // the old bytes stay, unsent
  ASSERT_TRUE(device.ExecuteWait());
  const SRB_ExecSCSICmd& sent = provider.received.back().exec;
  EXPECT_EQ(sent.SRB_CDBLen, 10);
  EXPECT_EQ(sent.SRB_Flags, SRB_DIR_OUT);
  EXPECT_EQ(std::memcmp(sent.CDBByte, ten, 10), 0);
  EXPECT_EQ(sent.CDBByte[10], 0xAA);
  EXPECT_EQ(sent.CDBByte[11], 0xAB);
}

TEST(ExecuteWait, AllEighteenSenseBytesAreClearedSoNothingLeaksIntoTheNextCommand) {
  ScriptedProvider provider;
  int call = 0;
  provider.answer = [&](void* srb) {
    return ++call == 1 ? ScriptedProvider::Complete(srb, SS_ERR, Sense(18, 0xEE))
                       : ScriptedProvider::Complete(srb, SS_COMP);
  };
  AspiDevice device;
  device.SetCommand(kStartStop, SRB_DIR_IN, 0);
  EXPECT_FALSE(device.ExecuteWait());
  EXPECT_EQ(device.senseReserve[0], 0xEE);  // the two bytes beyond the published area
  EXPECT_EQ(device.senseReserve[1], 0xEE);
  EXPECT_EQ(device.senseReserve[2], 0x00);  // and no more

  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  EXPECT_TRUE(device.ExecuteWait());
  const HandOver& second = provider.received[1];
  for (int i = 0; i < 16; ++i) EXPECT_EQ(second.exec.SenseArea[i], 0) << "sense byte " << i;
  EXPECT_EQ(second.senseBeyond[0], 0);
  EXPECT_EQ(second.senseBeyond[1], 0);
}

// Answers that end the command as failed at once: no wait for the time limit,
// no abort, and the pending flag down.
struct AtOnceCase {
  const char* name;
  aspi::DWORD (*answer)(void* srb);
};

class FailsAtOnce : public testing::TestWithParam<AtOnceCase> {};

TEST_P(FailsAtOnce, WithoutAWaitOrAnAbort) {
  ScriptedProvider provider;
  provider.answer = GetParam().answer;
  AspiDevice device;
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  ScopedCommandTimeLimitOverride limit(std::chrono::minutes(10));  // a wait would show
  EXPECT_FALSE(device.ExecuteWait());
  EXPECT_EQ(provider.CountOf(SC_ABORT_SRB), 0);
  EXPECT_EQ(CommandPending(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailsAtOnce,
    testing::Values(AtOnceCase{"SenseWhileStillPending",
                               [](void* srb) {
                                 std::uint8_t* area = static_cast<std::uint8_t*>(srb) +
                                                      offsetof(SRB_ExecSCSICmd, SenseArea);
                                 StoreSrbByte(area[0], 0x70);
                                 return aspi::DWORD{SS_PENDING};
                               }},
                    AtOnceCase{"BlockRefusedWithoutBeingTouched",
                               [](void*) { return aspi::DWORD{SS_INVALID_SRB}; }},
                    AtOnceCase{"CompletionWithSenseData",
                               [](void* srb) {
                                 return ScriptedProvider::Complete(srb, SS_COMP, {0x70, 0, 0x06});
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExecuteWait, AFinalStatusLeftFromTheLastCommandIsNotTakenForTheNextOne) {
  ScriptedProvider provider;
  int call = 0;
  // The second hand-over is answered without touching the block at all.
  provider.answer = [&](void* srb) {
    return ++call == 1 ? ScriptedProvider::Complete(srb, SS_COMP) : aspi::DWORD{SS_PENDING};
  };
  AspiDevice device;
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  ASSERT_TRUE(device.ExecuteWait());
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(20));
  EXPECT_FALSE(device.ExecuteWait());
  EXPECT_EQ(provider.CountOf(SC_ABORT_SRB), 1);
}

TEST(ExecuteWait, AdapterAndTargetStatusesLeftFromTheLastCommandAreCleared) {
  ScriptedProvider provider;
  provider.answer = [](void* srb) { return ScriptedProvider::Complete(srb, SS_COMP); };
  AspiDevice device;
  device.srb.SRB_HaStat = HASTAT_SEL_TO;  // as an empty target of the scan left them
  device.srb.SRB_TargStat = 0x08;
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  EXPECT_TRUE(device.ExecuteWait());
}

TEST(ExecuteWait, ReturnedDataStartAtTheFirstBufferByteAndTheRestIsKept) {
  ScriptedProvider provider;
  provider.answer = [](void* srb) {
    auto* s = static_cast<SRB_ExecSCSICmd*>(srb);
    s->SRB_BufPointer[0] = 0x05;
    s->SRB_BufPointer[1] = 0x80;
    return ScriptedProvider::Complete(srb, SS_COMP);
  };
  AspiDevice device;
  std::memset(device.dataBuffer, 0x33, 48);
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  ASSERT_TRUE(device.ExecuteWait());
  EXPECT_EQ(device.dataBuffer[0], 0x05);
  EXPECT_EQ(device.dataBuffer[1], 0x80);
  EXPECT_EQ(device.dataBuffer[2], 0x33);
  EXPECT_EQ(device.dataBuffer[47], 0x33);
}

TEST(ClearTarget, NothingIsSentUntilATargetIsNamedAgain) {
  ScriptedProvider provider;
  AspiDevice device;
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  device.ClearTarget();
  EXPECT_FALSE(device.HasTarget());
  EXPECT_FALSE(device.ExecuteWait());
  device.ExecutePosted();
  EXPECT_TRUE(provider.received.empty());
  EXPECT_EQ(CommandPending(), 0);

  device.SelectTarget(2);
  EXPECT_TRUE(device.HasTarget());
  EXPECT_TRUE(device.ExecuteWait());
  device.ClearTarget();
  device.SelectAdapter(0);
  EXPECT_TRUE(device.ExecuteWait());
  EXPECT_EQ(provider.received.size(), 2u);
}

TEST(ExecuteWait, NothingIsSentWithoutAnAdapter) {
  ScriptedProvider provider;
  provider.supportInfo = (SS_COMP << 8) | 0;
  AspiDevice device;
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  EXPECT_FALSE(device.ExecuteWait());
  EXPECT_TRUE(provider.received.empty());
}

TEST(ExecutePosted, ABlockRefusedAtTheHandOverDoesNotLeaveTheFlagRaised) {
  // Refused with the block's status written, and refused with only the
  // answer (the block left as it was handed over).
  for (const bool writesStatus : {true, false}) {
    ScriptedProvider provider;
    provider.answer = [writesStatus](void* srb) {
      return writesStatus ? ScriptedProvider::Complete(srb, SS_INVALID_HA)
                          : aspi::DWORD{SS_INVALID_SRB};
    };
    AspiDevice device;
    device.SetCommand(kInquiry, SRB_DIR_IN, 36);
    device.ExecutePosted();
    EXPECT_EQ(provider.received[0].exec.SRB_Flags, SRB_DIR_IN | SRB_POSTING);
    EXPECT_EQ(CommandPending(), 0) << writesStatus;
    EXPECT_EQ(device.CheckStatus(), 2) << "a failure, not a command still running";
  }
}

TEST(ExecutePosted, TheFlagIsRaisedBeforeTheHandOverAndARunningCommandIsAbortedAtTeardown) {
  ScriptedProvider provider;
  std::uint8_t seenByService = 0xFF;
  provider.answer = [&](void*) {
    seenByService = CommandPending();
    return aspi::DWORD{SS_PENDING};
  };
  {
    AspiDevice device;
    device.SetCommand(kInquiry, SRB_DIR_IN, 36);
    device.ExecutePosted();
    EXPECT_EQ(seenByService, 1);
    EXPECT_EQ(CommandPending(), 1);
    EXPECT_EQ(provider.received[0].exec.SRB_Flags, SRB_DIR_IN | SRB_POSTING);
    void (*routine)(void*) = provider.received[0].exec.SRB_PostProc;
    EXPECT_EQ(routine, &PostRoutine);
  }
  // The block still belonged to the service: the device took it back first,
  // and the completion routine of the aborted command lowered the flag.
  ASSERT_EQ(provider.CountOf(SC_ABORT_SRB), 1);
  EXPECT_EQ(CommandPending(), 0);
}

TEST(ExecutePosted, AnEarlierPostedCommandStillRunningIsAbortedBeforeTheBlockIsReused) {
  ScriptedProvider provider;
  provider.answer = [](void*) { return aspi::DWORD{SS_PENDING}; };
  AspiDevice device;
  device.SetCommand(kInquiry, SRB_DIR_IN, 36);
  device.ExecutePosted();
  provider.answer = [](void* srb) { return ScriptedProvider::Complete(srb, SS_COMP); };
  EXPECT_TRUE(device.ExecuteWait());
  ASSERT_EQ(provider.received.size(), 3u);
  EXPECT_EQ(provider.received[1].kind, SC_ABORT_SRB);
  EXPECT_EQ(CommandPending(), 0);
}

TEST(AbortAndReset, ReturnTrueOnlyForSsComp) {
  ScriptedProvider provider;
  AspiDevice device;
  device.SelectAdapter(1);
  device.SelectTarget(5);
  EXPECT_TRUE(device.AbortCommand());
  const HandOver& abort = provider.received.back();
  EXPECT_EQ(abort.kind, SC_ABORT_SRB);
  EXPECT_TRUE(device.ResetDevice());
  EXPECT_EQ(device.resetRequest.SRB_Target, 5);
  EXPECT_EQ(device.resetRequest.SRB_HaId, 1);

  provider.abortResult = SS_ABORT_FAIL;
  EXPECT_FALSE(device.AbortCommand());
  provider.answer = [](void* srb) { return ScriptedProvider::Complete(srb, SS_ERR); };
  EXPECT_FALSE(device.ResetDevice());
}

TEST(AbortAndReset, APendingResetKeepsItsBlockAndRefusesASecondReset) {
  ScriptedProvider provider;
  provider.answer = [](void*) { return aspi::DWORD{SS_PENDING}; };
  {
    AspiDevice device;
    EXPECT_FALSE(device.ResetDevice());
    EXPECT_FALSE(device.ResetDevice());
    EXPECT_EQ(provider.CountOf(SC_RESET_DEV), 1);
    // The service ends the reset; the next one may go.
    StoreSrbByte(device.resetRequest.SRB_Status, SS_COMP);
    provider.answer = [](void* srb) { return ScriptedProvider::Complete(srb, SS_COMP); };
    EXPECT_TRUE(device.ResetDevice());
    EXPECT_EQ(provider.CountOf(SC_RESET_DEV), 2);
  }
}

struct LimitCase {
  std::uint8_t opcode;
  std::chrono::milliseconds limit;
};

class CommandTimeLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(CommandTimeLimits, DependOnTheOperationCode) {
  const std::uint8_t cdb[12] = {GetParam().opcode};
  EXPECT_EQ(CommandTimeLimit(cdb), GetParam().limit);
  EXPECT_EQ(CommandWaitGrace(), std::chrono::seconds(5));
  {
    ScopedCommandTimeLimitOverride outer(std::chrono::milliseconds(40));
    EXPECT_EQ(CommandTimeLimit(cdb), std::chrono::milliseconds(40));
    EXPECT_EQ(CommandWaitGrace(), std::chrono::milliseconds(0));
    {
      ScopedCommandTimeLimitOverride inner(std::chrono::milliseconds(7));
      EXPECT_EQ(CommandTimeLimit(cdb), std::chrono::milliseconds(7));
    }
    EXPECT_EQ(CommandTimeLimit(cdb), std::chrono::milliseconds(40));
  }
  EXPECT_EQ(CommandTimeLimit(cdb), GetParam().limit);
}

INSTANTIATE_TEST_SUITE_P(Opcodes, CommandTimeLimits,
                         testing::Values(LimitCase{0x12, std::chrono::seconds(10)},
                                         LimitCase{0x1B, std::chrono::seconds(30)},
                                         LimitCase{0x55, std::chrono::minutes(5)},
                                         LimitCase{0x00, std::chrono::seconds(60)},
                                         LimitCase{0x25, std::chrono::seconds(60)}));

// The reprogramming window: from the download command's end every command
// gets the time left until the window's deadline, whatever its own limit,
// and none again once the deadline has passed; before the deadline is fixed
// and after the window each command keeps its own limit.
TEST(ReprogrammingWindow, EveryLimitReachesToTheDeadline) {
  const std::uint8_t inquiry[12] = {0x12};
  const std::uint8_t tray[12] = {0x1B};
  const std::uint8_t download[12] = {0x55};
  const auto near = [](std::chrono::milliseconds limit, std::chrono::milliseconds expected) {
    return limit <= expected && limit > expected - std::chrono::seconds(2);
  };
  OpenReprogrammingWindow();
  EXPECT_TRUE(InReprogrammingWindow());
  EXPECT_EQ(CommandTimeLimit(inquiry), std::chrono::seconds(10)) << "no deadline yet";
  EXPECT_EQ(CommandTimeLimit(download), std::chrono::minutes(5));
  FixReprogrammingDeadline();
  for (const std::uint8_t* cdb : {inquiry, tray, download})
    EXPECT_TRUE(near(CommandTimeLimit(cdb), std::chrono::minutes(5))) << int(cdb[0]);
  EXPECT_FALSE(ReprogrammingDeadlinePassed());
  CloseReprogrammingWindow();
  EXPECT_FALSE(InReprogrammingWindow());
  EXPECT_EQ(CommandTimeLimit(inquiry), std::chrono::seconds(10));

  ScopedCommandTimeLimitOverride scaled(std::chrono::milliseconds(30));
  OpenReprogrammingWindow();
  FixReprogrammingDeadline();
  EXPECT_LE(CommandTimeLimit(inquiry), std::chrono::milliseconds(30));
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_TRUE(ReprogrammingDeadlinePassed());
  EXPECT_EQ(CommandTimeLimit(inquiry), std::chrono::milliseconds(0));
  CloseReprogrammingWindow();
  EXPECT_FALSE(ReprogrammingDeadlinePassed());
}

}  // namespace

// A unit attention says the drive did not perform the command: it is sent
// once more, and only once; any other failure is not repeated.
struct RetryCase {
  const char* name;
  std::vector<std::uint8_t> firstSense;
  std::vector<std::uint8_t> secondSense;
  int handOvers;
  bool succeeds;
  const char* failure;  // what LastCommandFailure says afterwards
};

void PrintTo(const RetryCase& retry, std::ostream* out) {
  *out << retry.name;
}

class UnitAttentionRetry : public testing::TestWithParam<RetryCase> {};

TEST_P(UnitAttentionRetry, IsSentAgainOnceOnlyAfterAUnitAttention) {
  ScriptedProvider provider;
  int call = 0;
  provider.answer = [&](void* srb) {
    const std::vector<std::uint8_t>& sense =
        ++call == 1 ? GetParam().firstSense : GetParam().secondSense;
    return ScriptedProvider::Complete(srb, sense.empty() ? SS_COMP : SS_ERR, sense);
  };
  AspiDevice device;
  const std::uint8_t download[12] = {0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  device.SetCommand(download, SRB_DIR_OUT, 16);
  EXPECT_EQ(device.ExecuteWait(), GetParam().succeeds);
  EXPECT_EQ(provider.CountOf(SC_EXEC_SCSI_CMD), GetParam().handOvers);
  EXPECT_EQ(LastCommandFailure(device).Describe(), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UnitAttentionRetry,
    testing::Values(
        RetryCase{"PowerOnThenGood", FixedSense(6, 0x29, 0), {}, 2, true, ""},
        RetryCase{"MediumChangeThenGood", FixedSense(6, 0x28, 0), {}, 2, true, ""},
        RetryCase{
            "DescriptorFormatThenGood", {0x72, 0x06, 0x2A, 0x01, 0, 0, 0, 0}, {}, 2, true, ""},
        RetryCase{"TwiceStands", FixedSense(6, 0x29, 0), FixedSense(6, 0x29, 0), 2, false,
                  "sense 6/29/00 (unit attention: power on, reset or bus device reset occurred)"},
        RetryCase{"NotReadyIsNotRepeated",
                  FixedSense(2, 0x04, 0x01),
                  {},
                  1,
                  false,
                  "sense 2/04/01 (not ready: logical unit is in process of becoming ready)"},
        RetryCase{"LockedDoorIsNotRepeated",
                  FixedSense(5, 0x53, 0x02),
                  {},
                  1,
                  false,
                  "sense 5/53/02 (illegal request: medium removal prevented)"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a failed command says of the drive: still busy (asked again after a
// download), or perhaps changed by a download it failed (incomplete).
TEST(CommandFailure, TellsABusyDriveAndAWriteThatMayHaveBegun) {
  struct Case {
    std::uint8_t status, haStat, targStat, key, asc, ascq;  // key 0: no sense data
    bool busy, mayHaveWritten;
  };
  const Case cases[] = {
      {SS_ERR, 0, 2, 2, 0x04, 0x01, true, false},   // becoming ready
      {SS_ERR, 0, 2, 2, 0x04, 0x07, true, false},   // operation in progress
      {SS_ERR, 0, 2, 6, 0x29, 0x00, true, false},   // unit attention
      {SS_ERR, 0, 8, 0, 0, 0, true, false},         // BUSY status
      {SS_ERR, 0, 2, 5, 0x26, 0x00, false, false},  // the image refused
      {SS_ERR, 0, 2, 4, 0x0C, 0x00, false, true},   // write error
      {SS_ERR, 0, 2, 0xB, 0x47, 0, false, true},    // aborted command
      {SS_ERR, 0, 2, 0, 0, 0, false, true},         // CHECK CONDITION without sense data
      {SS_ERR, HASTAT_PHASE_ERR, 0, 0, 0, 0, false, true},
      {SS_ERR, HASTAT_SEL_TO, 0, 0, 0, 0, false, true},  // the device went during the command
      {SS_ABORTED, 0, 0, 0, 0, 0, false, true},
      {SS_NO_DEVICE, HASTAT_SEL_TO, 0, 0, 0, 0, false, false},  // never sent
      {SS_ERR, 0, 0, 0, 0, 0, false, false},                    // refused by the system
  };
  for (const Case& c : cases) {
    const CommandFailure failure{true,       false, false, c.status, c.haStat, c.targStat,
                                 c.key != 0, c.key, c.asc, c.ascq,   0};
    EXPECT_EQ(failure.DriveBusy(), c.busy) << failure.Describe();
    EXPECT_EQ(failure.MayHaveWrittenPart(), c.mayHaveWritten) << failure.Describe();
  }
  const CommandFailure timedOut{.failed = true, .timedOut = true, .haStat = HASTAT_TIMEOUT};
  EXPECT_FALSE(timedOut.DriveBusy() || timedOut.MayHaveWrittenPart());
}
