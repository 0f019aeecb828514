// The request executor's checks and completion, against a transport that
// finishes every command at once and against the emulated bus, which
// finishes its own: both answer every request alike.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "aspi/request_executor.h"
#include "transports/emulated/emulated_bus.h"

namespace {

// One adapter with a device at target 0 that takes every command.
class OneDevice final : public AspiProvider, private CommandRunner {
 public:
  aspi::DWORD GetSupportInfo() override { return (aspi::DWORD{SS_COMP} << 8) | 1; }
  aspi::DWORD SendCommand(void* srb) override { return ExecuteRequest(*this, srb); }
  const char* Name() const override { return "one"; }
  int commands = 0;

 private:
  int AdapterCount() const override { return 1; }
  bool HasTarget(aspi::BYTE, aspi::BYTE target) const override { return target == 0; }
  CommandVerdict RunCommand(const CommandRequest&) override {
    ++commands;
    CommandVerdict verdict;
    verdict.status = SS_COMP;
    return verdict;
  }
  aspi::BYTE ResetTarget(aspi::BYTE, aspi::BYTE, aspi::BYTE& haStat) override {
    haStat = HASTAT_OK;
    return SS_COMP;
  }
};

int g_posts = 0;
void CountPost(void*) {
  ++g_posts;
}

struct Request {
  const char* name;
  aspi::BYTE kind;
  aspi::BYTE adapter, target, lun, cdbLength, flags;
  aspi::BYTE status, haStat;
};

class RequestExecutor : public testing::TestWithParam<Request> {};

TEST_P(RequestExecutor, EveryProviderChecksAndCompletesAlike) {
  const Request& r = GetParam();
  std::string error;
  std::unique_ptr<AspiProvider> bus = EmulatedBus::FromLayout("0:0=drive", error);
  ASSERT_NE(bus, nullptr) << error;
  OneDevice one;
  for (AspiProvider* provider : {static_cast<AspiProvider*>(&one), bus.get()}) {
    SCOPED_TRACE(provider->Name());
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd exec{};
    exec.SRB_Cmd = SC_EXEC_SCSI_CMD;
    exec.SRB_HaId = r.adapter;
    exec.SRB_Target = r.target;
    exec.SRB_Lun = r.lun;
    exec.SRB_Flags = static_cast<aspi::BYTE>(r.flags | SRB_POSTING);
    exec.SRB_CDBLen = r.cdbLength;
    exec.CDBByte[0] = 0x12;
    exec.CDBByte[4] = sizeof data;
    exec.SRB_BufLen = sizeof data;
    exec.SRB_BufPointer = data;
    exec.SRB_PostProc = &CountPost;
    SRB_BusDeviceReset reset{};
    reset.SRB_Cmd = SC_RESET_DEV;
    reset.SRB_HaId = r.adapter;
    reset.SRB_Target = r.target;
    reset.SRB_Lun = r.lun;
    reset.SRB_Flags = SRB_POSTING;
    reset.SRB_PostProc = &CountPost;
    const bool isReset = r.kind == SC_RESET_DEV;
    g_posts = 0;
    EXPECT_EQ(provider->SendCommand(isReset ? static_cast<void*>(&reset) : &exec), r.status);
    EXPECT_EQ(isReset ? reset.SRB_Status : exec.SRB_Status, r.status);
    EXPECT_EQ(isReset ? reset.SRB_HaStat : exec.SRB_HaStat, r.haStat);
    EXPECT_EQ(g_posts, 1);
  }
  EXPECT_EQ(one.commands, r.kind == SC_EXEC_SCSI_CMD && r.status == SS_COMP ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestExecutor,
    testing::Values(
        Request{"Inquiry", SC_EXEC_SCSI_CMD, 0, 0, 0, 6, SRB_DIR_IN, SS_COMP, HASTAT_OK},
        Request{"EmptyTarget", SC_EXEC_SCSI_CMD, 0, 3, 0, 6, SRB_DIR_IN, SS_NO_DEVICE,
                HASTAT_SEL_TO},
        Request{"OtherLun", SC_EXEC_SCSI_CMD, 0, 0, 1, 6, SRB_DIR_IN, SS_NO_DEVICE, HASTAT_SEL_TO},
        Request{"NoAdapter", SC_EXEC_SCSI_CMD, 1, 0, 0, 6, SRB_DIR_IN, SS_INVALID_HA, HASTAT_OK},
        Request{"NoCommandBytes", SC_EXEC_SCSI_CMD, 0, 0, 0, 0, SRB_DIR_IN, SS_INVALID_SRB,
                HASTAT_OK},
        Request{"DataWithoutDirection", SC_EXEC_SCSI_CMD, 0, 0, 0, 6, 0, SS_INVALID_SRB, HASTAT_OK},
        Request{"EventNotification", SC_EXEC_SCSI_CMD, 0, 0, 0, 6, SRB_DIR_IN | SRB_EVENT_NOTIFY,
                SS_ILLEGAL_MODE, HASTAT_OK},
        Request{"Reset", SC_RESET_DEV, 0, 0, 0, 0, 0, SS_COMP, HASTAT_OK},
        Request{"ResetOfEmptyTarget", SC_RESET_DEV, 0, 3, 0, 0, 0, SS_NO_DEVICE, HASTAT_SEL_TO}),
    [](const testing::TestParamInfo<Request>& info) { return std::string(info.param.name); });

}  // namespace
