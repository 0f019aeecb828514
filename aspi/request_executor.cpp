#include "aspi/request_executor.h"

#include <algorithm>
#include <cstring>

#include "aspi/download_opcode.h"
#include "aspi/srb_access.h"

namespace {

aspi::DWORD Execute(CommandRunner& transport, SRB_ExecSCSICmd& srb) {
  StoreSrbByte(srb.SRB_Status, SS_PENDING);
  srb.SRB_HaStat = HASTAT_OK;
  srb.SRB_TargStat = STATUS_GOOD;
  if (const aspi::BYTE refusal = CheckExecRequest(srb, transport.AdapterCount());
      refusal != SS_PENDING) {
    return CompleteRequest(srb, refusal);
  }
  if (srb.SRB_Lun != 0 || !transport.HasTarget(srb.SRB_HaId, srb.SRB_Target)) {
    srb.SRB_HaStat = HASTAT_SEL_TO;
    return CompleteRequest(srb, SS_NO_DEVICE);
  }
  CommandRequest request;
  request.adapter = srb.SRB_HaId;
  request.target = srb.SRB_Target;
  request.cdb = srb.CDBByte;
  request.cdbLength = srb.SRB_CDBLen;
  request.direction = (srb.SRB_Flags & SRB_DIR_IN) != 0    ? CommandDirection::kIn
                      : (srb.SRB_Flags & SRB_DIR_OUT) != 0 ? CommandDirection::kOut
                                                           : CommandDirection::kNone;
  request.data = srb.SRB_BufPointer;
  request.length = srb.SRB_BufLen;
  request.download = srb.CDBByte[0] == aspi::kDownloadOpcode;
  return FinishExec(srb, transport.RunCommand(request));
}

aspi::DWORD Reset(CommandRunner& transport, SRB_BusDeviceReset& srb) {
  StoreSrbByte(srb.SRB_Status, SS_PENDING);
  srb.SRB_HaStat = HASTAT_OK;
  srb.SRB_TargStat = STATUS_GOOD;
  if (srb.SRB_HaId >= transport.AdapterCount()) return CompleteRequest(srb, SS_INVALID_HA);
  if (srb.SRB_Lun != 0 || !transport.HasTarget(srb.SRB_HaId, srb.SRB_Target)) {
    srb.SRB_HaStat = HASTAT_SEL_TO;
    return CompleteRequest(srb, SS_NO_DEVICE);
  }
  aspi::BYTE haStat = HASTAT_OK;
  const aspi::BYTE status = transport.ResetTarget(srb.SRB_HaId, srb.SRB_Target, haStat);
  srb.SRB_HaStat = haStat;
  return CompleteRequest(srb, status);
}

}  // namespace

aspi::BYTE CheckExecRequest(const SRB_ExecSCSICmd& srb, int adapterCount) {
  if (srb.SRB_HaId >= adapterCount) return SS_INVALID_HA;
  const bool in = (srb.SRB_Flags & SRB_DIR_IN) != 0;
  const bool out = (srb.SRB_Flags & SRB_DIR_OUT) != 0;
  if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof srb.CDBByte || (in && out) ||
      (srb.SRB_BufLen != 0 && (srb.SRB_BufPointer == nullptr || (!in && !out)))) {
    return SS_INVALID_SRB;
  }
  if ((srb.SRB_Flags & SRB_EVENT_NOTIFY) != 0) return SS_ILLEGAL_MODE;
  if (srb.SRB_BufLen > 0x7FFFFFFFu) return SS_BUFFER_TO_BIG;
  return SS_PENDING;
}

void StoreSense(SRB_ExecSCSICmd& srb, const std::uint8_t* sense, std::size_t length) {
  length = std::min<std::size_t>(length, srb.SRB_SenseLen);
  if (length == 0) return;
  // The caller reserves room behind the block for SRB_SenseLen bytes.
  auto* area = reinterpret_cast<std::uint8_t*>(&srb) + offsetof(SRB_ExecSCSICmd, SenseArea);
  std::memcpy(area + 1, sense + 1, length - 1);
  StoreSrbByte(area[0], sense[0]);
}

aspi::DWORD FinishExec(SRB_ExecSCSICmd& srb, const CommandVerdict& verdict) {
  srb.SRB_HaStat = verdict.haStat;
  srb.SRB_TargStat = verdict.targStat;
  StoreSense(srb, verdict.sense.data(), verdict.sense.size());
  if (verdict.residualKnown && (srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0) {
    srb.SRB_BufLen = verdict.residual;
  }
  return CompleteRequest(srb, verdict.status);
}

aspi::DWORD CompleteRequest(void* srb, aspi::BYTE& statusByte, aspi::BYTE flags,
                            void (*postProc)(void*), aspi::BYTE status) {
  StoreSrbByte(statusByte, status);
  if ((flags & SRB_POSTING) != 0 && postProc != nullptr) postProc(srb);
  return status;
}

aspi::DWORD ExecuteRequest(CommandRunner& transport, void* srb) {
  if (srb == nullptr) return SS_INVALID_SRB;
  auto* header = static_cast<SRB_Header*>(srb);
  switch (header->SRB_Cmd) {
    case SC_EXEC_SCSI_CMD:
      return Execute(transport, *static_cast<SRB_ExecSCSICmd*>(srb));
    case SC_RESET_DEV:
      return Reset(transport, *static_cast<SRB_BusDeviceReset*>(srb));
    case SC_ABORT_SRB: {
      // Every command has ended by the time SendCommand returns: there is
      // never one left to abort.
      const aspi::BYTE status =
          header->SRB_HaId < transport.AdapterCount() ? SS_ABORT_FAIL : SS_INVALID_HA;
      StoreSrbByte(header->SRB_Status, status);
      return status;
    }
    default:
      StoreSrbByte(header->SRB_Status, SS_INVALID_CMD);
      return SS_INVALID_CMD;
  }
}
