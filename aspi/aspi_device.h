// AspiDevice: the one path to the drive. It holds the adapter count, the
// adapter and target of every command, one request block, the command block
// of the next command and the data buffer shared by all commands (INQUIRY
// data, then the firmware image).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "aspi/wnaspi32.h"

// Completion signal of posted execution: 1 while a posted command runs.
extern volatile std::uint8_t g_commandPending;

// Completion routine named in SRB_PostProc by ExecutePosted.
void PostRoutine(void* request);

// Reads g_commandPending with acquire order (safe while a completion routine
// may clear it on the service's thread).
std::uint8_t CommandPending();

// While set, ExecuteWait hands each command to the service on a worker
// thread and calls `hook` on the calling thread about every 20 ms until the
// command has ended (also while it polls a command the service holds), so
// that a window stays painted and answered however long the drive takes.
// Null (the default): the calling thread itself waits.
void SetCommandWaitHook(void (*hook)());

inline constexpr std::uint32_t kDataBufferSize = 65540;
inline constexpr std::uint8_t kRequestedSenseLength = 18;

class AspiDevice {
 public:
  AspiDevice();
  ~AspiDevice();
  AspiDevice(const AspiDevice&) = delete;
  AspiDevice& operator=(const AspiDevice&) = delete;

  bool IsAvailable() const;
  std::uint8_t GetAdapterCount() const;
  void SelectAdapter(std::uint8_t adapter);
  void SelectTarget(std::uint8_t target);

  void SetCommand(const std::uint8_t* block, std::uint8_t direction, std::uint32_t length);
  // A 10-byte command block. Part of the device's interface; the flow does
  // not call it.
  void SetCommand10(const std::uint8_t* block, std::uint8_t direction, std::uint32_t length);

  // Sends the loaded command and polls until it ends; true only for SS_COMP
  // without sense data. Between two polls the thread yields the processor, so
  // that a service finishing the command on another thread gets to run even
  // on a fully loaded machine. A command still running after
  // CommandTimeLimit + CommandWaitGrace (command_time_limits.h) counts as
  // failed; outside the reprogramming window it is then aborted with
  // SC_ABORT_SRB, inside it is left to the service (its deadline has passed
  // by then, and the flow sends nothing more). Nothing is sent, and the result
  // is false, without a data buffer, without an adapter or after
  // ClearTarget(). g_commandPending is 0 afterwards in every case.
  // A command the drive answers with a unit attention (sense key 6: after a
  // power-on, a reset or a medium change) was not performed, so it is sent
  // once more; the second answer stands. LastCommandFailure
  // (command_failure.h) tells why a command failed.
  bool ExecuteWait();
  // 0 while the command runs, 1 when it ended well, 2 when it failed.
  int CheckStatus();
  // Sends the loaded command with SRB_POSTING and returns at once;
  // g_commandPending is raised before the hand-over and lowered by
  // PostRoutine (or at once when the service refuses the block). Part of the
  // device's interface; the flow does not call it.
  void ExecutePosted();
  // Asks the service to abort the command it holds (ExecuteWait does so for a
  // command that outlived its limit outside the reprogramming window). Part
  // of the device's interface; the flow does not call it.
  bool AbortCommand();
  // Resets the selected target. False also while an earlier reset is still
  // pending: its block stays the service's until it ends. Part of the
  // device's interface; the flow does not call it (the program never resets
  // a drive).
  bool ResetDevice();

  bool GetInquiryStrings(char* model, char* revision);

  // Bytes the last command moved, for a command sent with
  // SRB_ENABLE_RESIDUAL_COUNT: the transfer length less the residual the
  // transport reported in SRB_BufLen. A transport that reports none leaves
  // SRB_BufLen at the transfer length, which reads as nothing moved; that
  // and any other answer out of range give the whole transfer length, so a
  // caller that cleared the buffer judges what is there. Without the flag:
  // the transfer length.
  std::uint32_t ReceivedLength() const;

  // After a scan that accepted no drive the device addresses no target:
  // ExecuteWait and ExecutePosted then fail without sending anything, until
  // SelectAdapter or SelectTarget names a target again.
  void ClearTarget();
  bool HasTarget() const;

  // Fields, in this order; senseReserve directly behind srb.
  std::uint8_t adapterCount;
  std::uint8_t adapterId;
  std::uint8_t targetId;
  SRB_ExecSCSICmd srb;
  std::uint8_t senseReserve[64];
  std::uint8_t direction;
  std::uint32_t transferLength;
  std::uint8_t* dataBuffer;  // kDataBufferSize bytes, or nullptr if it could not be had
  std::uint8_t commandBlock[12];
  std::uint8_t commandLength;
  bool targetCleared;
  aspi::DWORD supportInfo;  // what GetASPI32SupportInfo answered (0 when not asked)
  // The reset request lives as long as the device: a service that answers a
  // reset with SS_PENDING may still write to it after ResetDevice returned.
  SRB_BusDeviceReset resetRequest;
  // The last ExecuteWait gave up waiting: its time limit ran out.
  bool lastCommandTimedOut;
  // The time limit the last command was sent with (CommandTimeLimit then).
  std::chrono::milliseconds lastCommandLimit;

 private:
  bool CanSend() const;
  void PrepareRequest(std::uint8_t flags);
  // A command the service still holds is aborted before its block is
  // written for the next command or released with the device.
  void ReclaimRequestBlock();
  bool WaitUntilFinal(const std::uint8_t& status, std::chrono::milliseconds limit) const;
  // One hand-over and the wait for its end: 1 good, 2 failed.
  int SendAndWait();
  // SendASPI32Command for the request block, on a worker thread while a
  // command wait hook is set.
  aspi::DWORD HandOver();
  bool EndedInUnitAttention();
};

// The service writes sense bytes contiguously from SenseArea on; the two
// beyond the published area land in senseReserve.
static_assert(offsetof(AspiDevice, senseReserve) ==
              offsetof(AspiDevice, srb) + sizeof(SRB_ExecSCSICmd));

// Test hook: while one is in force, every AspiDevice built finds its data
// buffer not obtainable, as if the memory were exhausted.
class ScopedDataBufferAllocationFailure {
 public:
  ScopedDataBufferAllocationFailure();
  ~ScopedDataBufferAllocationFailure();
  ScopedDataBufferAllocationFailure(const ScopedDataBufferAllocationFailure&) = delete;
  ScopedDataBufferAllocationFailure& operator=(const ScopedDataBufferAllocationFailure&) = delete;
};
