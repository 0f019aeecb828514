// Fuzzes the reader of recorded sessions (--replay FILE). Any input must be
// refused with a message or read into a provider; a provider must then answer
// the calls of a short flash (support info, INQUIRY, the download command, an
// abort and a reset) without an exception, a crash or a write beyond a buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "aspi/wnaspi32.h"
#include "transports/recording/replay_provider.h"

namespace {

// A request block with room for its sense bytes behind it, as the device keeps one.
struct Block {
  SRB_ExecSCSICmd srb{};
  std::uint8_t room[64]{};
};

void Exec(ReplayProvider& replay, const std::vector<std::uint8_t>& cdb, std::uint8_t flags,
          std::vector<std::uint8_t>& buffer) {
  Block block;
  block.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  block.srb.SRB_Flags = flags;
  block.srb.SRB_BufLen = static_cast<aspi::DWORD>(buffer.size());
  block.srb.SRB_BufPointer = buffer.data();
  block.srb.SRB_SenseLen = SENSE_LEN;
  block.srb.SRB_CDBLen = static_cast<aspi::BYTE>(cdb.size());
  std::memcpy(block.srb.CDBByte, cdb.data(), cdb.size());
  replay.SendCommand(&block.srb);
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_ToAbort = &block.srb;
  replay.SendCommand(&abort);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream messages;
  std::string error;
  auto replay = ReplayProvider::FromStream(in, "fuzz.jsonl", error, StreamSink(messages));
  if (!replay) {
    if (error.find("fuzz.jsonl") != 0) std::abort();  // every refusal names the file
    return 0;
  }
  replay->GetSupportInfo();
  std::vector<std::uint8_t> inquiry(36);
  Exec(*replay, {0x12, 0, 0, 0, 36, 0}, SRB_DIR_IN, inquiry);
  std::vector<std::uint8_t> image(65535, 0xFF);
  Exec(*replay, {0x55, 0, 0, 0x77, 0, 0, 0, 0xFF, 0xFE, 0x02, 0xFF, 0xFF}, SRB_DIR_OUT, image);
  SRB_BusDeviceReset reset{};
  reset.SRB_Cmd = SC_RESET_DEV;
  replay->SendCommand(&reset);
  replay->Remaining();
  return 0;
}
