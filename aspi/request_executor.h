// The front half of every transport that answers SendCommand: the checks of
// a request block in one order, the dispatch of execute, abort and reset, the
// copy of the sense bytes and the completion. Behind it the transport is a
// CommandRunner: it only says which adapters and targets it has and runs one
// command (or one reset) at a time, returning its verdict.
//
// The same for every transport:
// - an execute request is checked in this order: the adapter (SS_INVALID_HA),
//   the block (SS_INVALID_SRB: no or too many command bytes, both directions,
//   data without a buffer or without a direction), event notification
//   (SS_ILLEGAL_MODE), the length (SS_BUFFER_TO_BIG), then the target;
// - a target without a device, or a LUN other than 0, answers SS_NO_DEVICE
//   with a selection timeout, as an empty target of a real bus does;
// - every execute and reset request that SendCommand finishes, accepted or
//   refused, stores its final status last and then calls its completion
//   routine once when SRB_POSTING asks for it;
// - from the download command on the transport holds the drive for the rest
//   of the run (CommandRequest::download tells it which command that is).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "aspi/wnaspi32.h"

// How one command ended, as the transport judged it.
struct CommandVerdict {
  aspi::BYTE status = SS_ERR;
  aspi::BYTE haStat = HASTAT_OK;
  aspi::BYTE targStat = STATUS_GOOD;
  // The drive's sense bytes; at most SRB_SenseLen of them reach the block.
  std::vector<std::uint8_t> sense;
  // Bytes asked for and not moved, stored when the block asks for residual
  // counts (SRB_ENABLE_RESIDUAL_COUNT) and the transport knows them.
  bool residualKnown = false;
  aspi::DWORD residual = 0;
};

enum class CommandDirection { kNone, kIn, kOut };

// One checked command for a target that exists.
struct CommandRequest {
  aspi::BYTE adapter = 0;
  aspi::BYTE target = 0;
  const std::uint8_t* cdb = nullptr;
  std::size_t cdbLength = 0;
  CommandDirection direction = CommandDirection::kNone;
  std::uint8_t* data = nullptr;  // the caller's buffer
  aspi::DWORD length = 0;
  // The download command: the transport claims the drive before sending it
  // and keeps the claim for the rest of the run.
  bool download = false;
};

// The back half of a transport: what it has and how it runs one command.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  virtual int AdapterCount() const = 0;
  // A device at that adapter (below AdapterCount) and target, LUN 0.
  virtual bool HasTarget(aspi::BYTE adapter, aspi::BYTE target) const = 0;
  // Runs one command; the data are in the caller's buffer when it returns.
  virtual CommandVerdict RunCommand(const CommandRequest& request) = 0;
  // Resets the device at a target HasTarget named: SS_COMP or SS_ERR, with
  // the host adapter status in `haStat`.
  virtual aspi::BYTE ResetTarget(aspi::BYTE adapter, aspi::BYTE target, aspi::BYTE& haStat) = 0;
};

// Answers SendCommand for a transport that finishes every command before it
// returns: nothing is ever pending, so an abort finds nothing to abort.
aspi::DWORD ExecuteRequest(CommandRunner& transport, void* srb);

// The checks of an execute request before its target is looked at:
// SS_PENDING when the block may go on, else the status that refuses it.
aspi::BYTE CheckExecRequest(const SRB_ExecSCSICmd& srb, int adapterCount);

// Copies up to SRB_SenseLen sense bytes from SenseArea on (the caller keeps
// room behind the published 16), the first byte last, so that a poller that
// sees SenseArea[0] set sees the rest.
void StoreSense(SRB_ExecSCSICmd& srb, const std::uint8_t* sense, std::size_t length);

// Stores the verdict's statuses, sense bytes and residual count, then the
// final status, and calls the completion routine.
aspi::DWORD FinishExec(SRB_ExecSCSICmd& srb, const CommandVerdict& verdict);

// Stores the final status of a request finished now, then calls the
// completion routine when `flags` ask for one.
aspi::DWORD CompleteRequest(void* srb, aspi::BYTE& statusByte, aspi::BYTE flags,
                            void (*postProc)(void*), aspi::BYTE status);
inline aspi::DWORD CompleteRequest(SRB_ExecSCSICmd& srb, aspi::BYTE status) {
  return CompleteRequest(&srb, srb.SRB_Status, srb.SRB_Flags, srb.SRB_PostProc, status);
}
inline aspi::DWORD CompleteRequest(SRB_BusDeviceReset& srb, aspi::BYTE status) {
  return CompleteRequest(&srb, srb.SRB_Status, srb.SRB_Flags, srb.SRB_PostProc, status);
}
