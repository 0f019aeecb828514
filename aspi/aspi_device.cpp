// AspiDevice: one request block, one command at a time, completion by polling.
#include "aspi/aspi_device.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "aspi/aspi_provider.h"
#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"
#include "aspi/srb_access.h"

volatile std::uint8_t g_commandPending = 0;

namespace {

std::atomic<int> g_failedAllocations{0};
std::atomic<void (*)()> g_commandWaitHook{nullptr};

constexpr std::chrono::milliseconds kHookInterval{20};

constexpr std::chrono::milliseconds kCompletionRoutineWait{1000};

std::uint8_t* AllocateDataBuffer() {
  if (g_failedAllocations.load() > 0) return nullptr;
  return new (std::nothrow) std::uint8_t[kDataBufferSize];
}

}  // namespace

void SetCommandWaitHook(void (*hook)()) {
  g_commandWaitHook.store(hook);
}

void PostRoutine(void* /*request*/) {
  StorePendingFlag(g_commandPending, 0);
}

std::uint8_t CommandPending() {
  return LoadPendingFlag(g_commandPending);
}

ScopedDataBufferAllocationFailure::ScopedDataBufferAllocationFailure() {
  ++g_failedAllocations;
}
ScopedDataBufferAllocationFailure::~ScopedDataBufferAllocationFailure() {
  --g_failedAllocations;
}

AspiDevice::AspiDevice()
    : adapterCount(0),
      adapterId(0),
      targetId(0),
      srb{},
      senseReserve{},
      direction(SRB_DIR_IN),
      transferLength(0),
      dataBuffer(AllocateDataBuffer()),
      commandBlock{},
      commandLength(0),
      targetCleared(false),
      supportInfo(0),
      resetRequest{},
      lastCommandTimedOut(false),
      lastCommandLimit(0) {
  // Without the buffer no command can run, so the service is not even asked.
  if (dataBuffer == nullptr) return;
  dataBuffer[0] = 0;
  supportInfo = GetASPI32SupportInfo();
  if (((supportInfo >> 8) & 0xFF) == SS_COMP) adapterCount = static_cast<std::uint8_t>(supportInfo);
}

AspiDevice::~AspiDevice() {
  // The service must be done with the request blocks and the buffer before
  // they go away.
  ReclaimRequestBlock();
  if (resetRequest.SRB_Cmd == SC_RESET_DEV) {
    WaitUntilFinal(resetRequest.SRB_Status, CommandWaitGrace());
  }
  delete[] dataBuffer;
}

bool AspiDevice::IsAvailable() const {
  return adapterCount != 0;
}

std::uint8_t AspiDevice::GetAdapterCount() const {
  return adapterCount;
}

void AspiDevice::SelectAdapter(std::uint8_t adapter) {
  adapterId = adapter;
  targetCleared = false;
}

void AspiDevice::SelectTarget(std::uint8_t target) {
  targetId = target;
  targetCleared = false;
}

void AspiDevice::ClearTarget() {
  targetCleared = true;
}

bool AspiDevice::HasTarget() const {
  return !targetCleared;
}

void AspiDevice::SetCommand(const std::uint8_t* block, std::uint8_t dir, std::uint32_t length) {
  std::memcpy(commandBlock, block, 12);
  commandLength = 12;
  direction = dir;
  transferLength = length;
}

void AspiDevice::SetCommand10(const std::uint8_t* block, std::uint8_t dir, std::uint32_t length) {
  std::memcpy(commandBlock, block, 10);
  commandLength = 10;
  direction = dir;
  transferLength = length;
}

bool AspiDevice::CanSend() const {
  return dataBuffer != nullptr && adapterCount != 0 && !targetCleared;
}

bool AspiDevice::WaitUntilFinal(const std::uint8_t& status, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (LoadSrbByte(status) == SS_PENDING) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// A command whose status still reads SS_PENDING belongs to the service; it is
// aborted before its block is written again or released.
void AspiDevice::ReclaimRequestBlock() {
  if (srb.SRB_Cmd != SC_EXEC_SCSI_CMD) return;
  if (LoadSrbByte(srb.SRB_Status) == SS_PENDING) {
    AbortCommand();
    WaitUntilFinal(srb.SRB_Status, CommandWaitGrace());
  }
  // A posted command that has ended may still be in its completion routine;
  // letting it finish first keeps it from clearing the flag of the next one.
  if ((srb.SRB_Flags & SRB_POSTING) != 0) {
    const auto deadline = std::chrono::steady_clock::now() + kCompletionRoutineWait;
    while (CommandPending() != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
  }
}

void AspiDevice::PrepareRequest(std::uint8_t flags) {
  ReclaimRequestBlock();
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = adapterId;
  srb.SRB_Flags = flags;
  srb.SRB_Target = targetId;
  srb.SRB_Lun = 0;
  srb.SRB_BufLen = transferLength;
  srb.SRB_SenseLen = kRequestedSenseLength;
  srb.SRB_BufPointer = dataBuffer;
  srb.SRB_CDBLen = commandLength;
  std::memcpy(srb.CDBByte, commandBlock, commandLength);
  // 18 sense bytes: the published 16 and the first two of senseReserve.
  std::memset(srb.SenseArea, 0, kRequestedSenseLength);
  // Statuses left from the previous command must not be taken for the
  // outcome of this one, whatever the service does with the bytes.
  srb.SRB_HaStat = HASTAT_OK;
  srb.SRB_TargStat = STATUS_GOOD;
  srb.SRB_Status = SS_PENDING;
}

bool AspiDevice::ExecuteWait() {
  lastCommandTimedOut = false;
  if (!CanSend()) {
    StorePendingFlag(g_commandPending, 0);
    return false;
  }
  int result = SendAndWait();
  // A unit attention means the drive did not perform the command, whatever
  // it was (the download command too), so sending it again is safe; a
  // second unit attention is the drive's answer and stands.
  if (result == 2 && EndedInUnitAttention()) result = SendAndWait();
  StorePendingFlag(g_commandPending, 0);
  return result == 1;
}

bool AspiDevice::EndedInUnitAttention() {
  if (lastCommandTimedOut || LoadSrbByte(srb.SRB_Status) == SS_PENDING) return false;
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  return ParseSense(srb.SenseArea, kRequestedSenseLength, key, asc, ascq) && key == 0x6;
}

aspi::DWORD AspiDevice::HandOver() {
  void (*hook)() = g_commandWaitHook.load();
  if (hook == nullptr) return SendASPI32Command(&srb);
  // The service may keep the calling thread for as long as the drive takes
  // (a synchronous pass-through call): it gets a thread of its own, and this
  // one answers the windows meanwhile. Nothing else touches the block until
  // the worker is done.
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  aspi::DWORD answer = SS_ERR;
  std::thread worker;
  try {
    worker = std::thread([this, &mutex, &ended, &done, &answer] {
      const aspi::DWORD result = SendASPI32Command(&srb);
      std::lock_guard<std::mutex> lock(mutex);
      answer = result;
      done = true;
      ended.notify_one();
    });
  } catch (...) {
    return SendASPI32Command(&srb);  // no thread to be had: wait here
  }
  std::unique_lock<std::mutex> lock(mutex);
  while (!ended.wait_for(lock, kHookInterval, [&done] { return done; })) {
    lock.unlock();
    hook();
    lock.lock();
  }
  lock.unlock();
  worker.join();
  return answer;
}

int AspiDevice::SendAndWait() {
  PrepareRequest(direction);
  lastCommandLimit = CommandTimeLimit(commandBlock);
  const auto deadline = std::chrono::steady_clock::now() + lastCommandLimit + CommandWaitGrace();
  const aspi::DWORD answer = HandOver();
  // A service that refuses the block outright (an invalid request, an
  // adapter it does not have) answers with the final status and may never
  // write the block's: the command has ended, and waiting out its time
  // limit would only stall the scan at every address.
  if (answer != SS_PENDING && answer != SS_COMP && LoadSrbByte(srb.SRB_Status) == SS_PENDING) {
    StoreSrbByte(srb.SRB_Status, static_cast<std::uint8_t>(answer));
  }
  // Most commands end within a few milliseconds: poll tightly for those, then
  // back off to one poll a millisecond, so that a drive that takes seconds or
  // minutes does not keep a processor busy for nothing.
  const auto tightUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
  auto nextHook = std::chrono::steady_clock::now() + kHookInterval;
  int result;
  while ((result = CheckStatus()) == 0) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      // The command took longer than any drive should: it counts as failed.
      // Outside the reprogramming window it is aborted; inside, the drive
      // may be rewriting its firmware, and the command is left to the
      // service (see command_time_limits.h).
      lastCommandTimedOut = true;
      if (!InReprogrammingWindow()) {
        AbortCommand();
        WaitUntilFinal(srb.SRB_Status, CommandWaitGrace());
      }
      return 2;
    }
    if (void (*hook)() = g_commandWaitHook.load(); hook != nullptr && now >= nextHook) {
      hook();
      nextHook = std::chrono::steady_clock::now() + kHookInterval;
    }
    // Give the processor away between polls, so that a service completing
    // the command on another thread can run even when every core is busy.
    if (now < tightUntil) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return result;
}

std::uint32_t AspiDevice::ReceivedLength() const {
  const std::uint32_t residual = srb.SRB_BufLen;  // a copy: the field is not aligned
  if ((srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) == 0) return transferLength;
  if (residual == 0 || residual >= transferLength) return transferLength;
  return transferLength - residual;
}

int AspiDevice::CheckStatus() {
  // Both bytes are read afresh on every call; the status first, so that the
  // sense bytes stored before a final status are seen with it.
  const std::uint8_t status = LoadSrbByte(srb.SRB_Status);
  const std::uint8_t sense = LoadSrbByte(srb.SenseArea[0]);
  if (sense != 0) return 2;
  if (status == SS_PENDING) return 0;
  if (status != SS_COMP) return 2;
  // A request completed well only when every layer says so: the target's
  // status (CHECK CONDITION, BUSY, ...) and the host adapter's are stored
  // before the final status, and either one alone makes it a failure.
  constexpr std::uint8_t kConditionMet = 0x04;  // good, as a search command ends
  const std::uint8_t target = srb.SRB_TargStat;
  const bool targetGood = target == STATUS_GOOD || target == kConditionMet;
  return targetGood && srb.SRB_HaStat == HASTAT_OK ? 1 : 2;
}

void AspiDevice::ExecutePosted() {
  if (!CanSend()) return;
  PrepareRequest(static_cast<std::uint8_t>(direction | SRB_POSTING));
  srb.SRB_PostProc = PostRoutine;
  // Raised before the hand-over: a completion routine that runs before
  // SendASPI32Command returns then clears it, instead of being overwritten.
  StorePendingFlag(g_commandPending, 1);
  const aspi::DWORD answer = SendASPI32Command(&srb);
  // A block the service refused outright never reaches the completion
  // routine; the flag must not then stay raised for good, and the block
  // gets the answer where the service left its status alone.
  if (answer != SS_PENDING && answer != SS_COMP && LoadSrbByte(srb.SRB_Status) == SS_PENDING) {
    StoreSrbByte(srb.SRB_Status, static_cast<std::uint8_t>(answer));
  }
  if (answer != SS_PENDING && LoadSrbByte(srb.SRB_Status) != SS_PENDING) {
    StorePendingFlag(g_commandPending, 0);
  }
}

bool AspiDevice::AbortCommand() {
  SRB_Abort request{};
  request.SRB_Cmd = SC_ABORT_SRB;
  request.SRB_HaId = adapterId;
  request.SRB_Flags = 0;
  request.SRB_Hdr_Rsvd = 0;
  request.SRB_ToAbort = &srb;
  return SendASPI32Command(&request) == SS_COMP;
}

bool AspiDevice::ResetDevice() {
  // A reset still running owns its block; it is not written over.
  if (resetRequest.SRB_Cmd == SC_RESET_DEV && LoadSrbByte(resetRequest.SRB_Status) == SS_PENDING) {
    return false;
  }
  resetRequest = SRB_BusDeviceReset{};
  resetRequest.SRB_Cmd = SC_RESET_DEV;
  resetRequest.SRB_HaId = adapterId;
  resetRequest.SRB_Flags = 0;
  resetRequest.SRB_Hdr_Rsvd = 0;
  resetRequest.SRB_Target = targetId;
  resetRequest.SRB_Lun = 0;
  return SendASPI32Command(&resetRequest) == SS_COMP;
}
