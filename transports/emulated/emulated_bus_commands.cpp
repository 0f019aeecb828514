// The emulated bus's command path: the requests handed to SendCommand, the
// threads that finish commands later, aborts and resets.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>

#include "aspi/request_executor.h"
#include "aspi/srb_access.h"
#include "transports/emulated/emulated_bus.h"

namespace {

SRB_ExecSCSICmd* AsExec(void* srb) {
  return static_cast<SRB_ExecSCSICmd*>(srb);
}

void WriteSense(void* srb, const std::vector<std::uint8_t>& sense) {
  StoreSense(*AsExec(srb), sense.data(), sense.size());
}

}  // namespace

void EmulatedBus::EndAborted(void* srb) {
  SRB_ExecSCSICmd* s = AsExec(srb);
  StoreSrbByte(s->SRB_Status, SS_ABORTED);
  if ((s->SRB_Flags & SRB_POSTING) != 0 && s->SRB_PostProc != nullptr) s->SRB_PostProc(srb);
}

aspi::DWORD EmulatedBus::SendCommand(void* srb) {
  if (srb == nullptr) return SS_INVALID_SRB;
  JoinFinishedWorkers();
  auto* header = static_cast<SRB_Header*>(srb);
  switch (header->SRB_Cmd) {
    case SC_EXEC_SCSI_CMD:
      return ExecuteScsi(srb);
    case SC_ABORT_SRB:
      return Abort(srb);
    case SC_RESET_DEV:
      return Reset(srb);
    default: {
      LoggedCommand entry;
      entry.requestKind = header->SRB_Cmd;
      entry.adapter = header->SRB_HaId;
      entry.request = srb;
      entry.status = ready_ ? SS_INVALID_CMD : SS_FAILED_INIT;
      Record(entry, nullptr);
      StoreSrbByte(header->SRB_Status, entry.status);
      return entry.status;
    }
  }
}

aspi::DWORD EmulatedBus::ExecuteScsi(void* srb) {
  SRB_ExecSCSICmd* s = AsExec(srb);
  Withdraw(srb);  // a block handed over again is a new command
  LoggedCommand entry;
  entry.requestKind = SC_EXEC_SCSI_CMD;
  entry.adapter = s->SRB_HaId;
  entry.target = s->SRB_Target;
  entry.lun = s->SRB_Lun;
  entry.flags = s->SRB_Flags;
  entry.transferLength = s->SRB_BufLen;
  entry.cdbLength = s->SRB_CDBLen;
  entry.request = srb;
  std::memcpy(entry.cdb, s->CDBByte, std::min<std::size_t>(s->SRB_CDBLen, 16));

  // The checks every transport makes, in the same order (see
  // aspi/request_executor.h); a refused request completes at once.
  const std::uint8_t refusal =
      ready_ ? CheckExecRequest(*s, static_cast<int>(adapters_.size())) : SS_FAILED_INIT;
  if (refusal != SS_PENDING) {
    entry.status = refusal;
    Record(entry, nullptr);
    return CompleteRequest(*s, refusal);
  }
  if ((s->SRB_Flags & SRB_DIR_OUT) != 0 && s->SRB_BufLen > 0) {
    entry.dataOut.assign(s->SRB_BufPointer, s->SRB_BufPointer + s->SRB_BufLen);
  }

  EmulatedDevice* device = nullptr;
  if (s->SRB_Target < emulated::kTargetsPerAdapter && s->SRB_Lun == 0) {
    device = adapters_[s->SRB_HaId][s->SRB_Target].get();
  }
  DeviceResponse response;
  if (device == nullptr) {
    // Nobody answers the selection.
    response.status = SS_NO_DEVICE;
    response.haStat = HASTAT_SEL_TO;
  } else {
    DeviceRequest request{entry.cdb, entry.cdbLength, entry.flags, entry.transferLength,
                          s->SRB_BufPointer};
    response = device->Execute(request);
  }
  entry.devicePresent = device != nullptr;
  entry.status = response.status;
  entry.haStat = response.haStat;
  entry.targStat = response.targStat;
  entry.completion = response.completion;
  entry.dataInLength =
      static_cast<std::uint32_t>(std::min<std::size_t>(response.dataIn.size(), s->SRB_BufLen));
  if (response.sense.size() >= 14) {
    entry.senseKey = response.sense[2] & 0x0F;
    entry.asc = response.sense[12];
    entry.ascq = response.sense[13];
  }
  Record(entry, device);
  if (response.flashed && device != nullptr) SaveState(entry.adapter, entry.target, *device);

  switch (response.completion) {
    case Completion::kImmediate: {
      Deliver(srb, response);
      return CompleteRequest(*s, response.status);
    }
    case Completion::kPendingSense:
      WriteSense(srb, response.sense);
      [[fallthrough]];
    case Completion::kNever:
      pending_.push_back(PendingRequest{srb, entry.adapter, entry.target});
      return SS_PENDING;
    case Completion::kLater:
      StartWorker(srb, std::move(response));
      return SS_PENDING;
  }
  return SS_PENDING;
}

void EmulatedBus::Deliver(void* srb, const DeviceResponse& response) {
  SRB_ExecSCSICmd* s = AsExec(srb);
  const std::uint32_t length = s->SRB_BufLen;
  const auto delivered =
      static_cast<std::uint32_t>(std::min<std::size_t>(response.dataIn.size(), length));
  if (delivered > 0 && s->SRB_BufPointer != nullptr) {
    std::memcpy(s->SRB_BufPointer, response.dataIn.data(), delivered);
  }
  // As an adapter that reports residual byte counts: what was asked for and
  // not moved, in the data-in direction (the data out is always taken whole).
  if ((s->SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0 && (s->SRB_Flags & SRB_DIR_IN) != 0) {
    s->SRB_BufLen = length - delivered;
  }
  WriteSense(srb, response.sense);
  s->SRB_HaStat = response.haStat;
  s->SRB_TargStat = response.targStat;
  StoreSrbByte(s->SRB_Status, response.status);  // last: it publishes the rest
}

void EmulatedBus::StartWorker(void* srb, DeviceResponse response) {
  SRB_ExecSCSICmd* s = AsExec(srb);
  // Everything the thread needs is taken now: once it stores the final
  // status, the block belongs to the caller again and may be rewritten.
  void (*post)(void*) = (s->SRB_Flags & SRB_POSTING) != 0 ? s->SRB_PostProc : nullptr;
  auto worker = std::make_unique<Worker>();
  worker->request = srb;
  worker->adapter = s->SRB_HaId;
  worker->target = s->SRB_Target;
  Worker* raw = worker.get();
  const auto delay = std::chrono::milliseconds(response.delayMs);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.push_back(std::move(worker));
  }
  raw->thread = std::thread([this, raw, srb, post, delay, response = std::move(response)] {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (wake_.wait_for(lock, delay, [raw] { return raw->cancelled; })) {
        raw->finished = true;
        return;
      }
      raw->delivering = true;
    }
    Deliver(srb, response);
    if (post != nullptr) post(srb);
    std::lock_guard<std::mutex> lock(mutex_);
    raw->finished = true;
  });
}

void EmulatedBus::JoinFinishedWorkers() {
  std::list<std::unique_ptr<Worker>> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if ((*it)->finished) {
        done.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& worker : done) worker->thread.join();
}

bool EmulatedBus::Withdraw(void* srb) {
  std::unique_ptr<Worker> worker;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end(); ++it) {
      if ((*it)->request == srb) {
        (*it)->cancelled = true;
        worker = std::move(*it);
        workers_.erase(it);
        break;
      }
    }
  }
  bool stillPending = false;
  if (worker != nullptr) {
    wake_.notify_all();
    worker->thread.join();
    stillPending = !worker->delivering;
  }
  const auto it = std::find_if(pending_.begin(), pending_.end(),
                               [srb](const PendingRequest& p) { return p.request == srb; });
  if (it != pending_.end()) {
    pending_.erase(it);
    stillPending = true;
  }
  return stillPending;
}

aspi::DWORD EmulatedBus::Abort(void* srb) {
  auto* request = static_cast<SRB_Abort*>(srb);
  LoggedCommand entry;
  entry.requestKind = SC_ABORT_SRB;
  entry.adapter = request->SRB_HaId;
  entry.request = request->SRB_ToAbort;
  std::uint8_t result = SS_ABORT_FAIL;
  if (!ready_) {
    result = SS_FAILED_INIT;
  } else if (request->SRB_ToAbort != nullptr && Withdraw(request->SRB_ToAbort)) {
    EndAborted(request->SRB_ToAbort);
    result = SS_COMP;
  }
  entry.status = result;
  Record(entry, nullptr);
  StoreSrbByte(request->SRB_Status, result);
  return result;
}

void EmulatedBus::AbortAllAt(std::uint8_t adapter, std::uint8_t target) {
  std::vector<void*> requests;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& worker : workers_) {
      if (worker->adapter == adapter && worker->target == target && !worker->delivering) {
        requests.push_back(worker->request);
      }
    }
  }
  for (const PendingRequest& pending : pending_) {
    if (pending.adapter == adapter && pending.target == target) requests.push_back(pending.request);
  }
  for (void* request : requests) {
    if (Withdraw(request)) EndAborted(request);
  }
}

aspi::DWORD EmulatedBus::Reset(void* srb) {
  auto* request = static_cast<SRB_BusDeviceReset*>(srb);
  LoggedCommand entry;
  entry.requestKind = SC_RESET_DEV;
  entry.adapter = request->SRB_HaId;
  entry.target = request->SRB_Target;
  entry.lun = request->SRB_Lun;
  entry.request = srb;
  std::uint8_t result = SS_COMP;
  EmulatedDevice* device = nullptr;
  if (!ready_) {
    result = SS_FAILED_INIT;
  } else if (request->SRB_HaId >= adapters_.size()) {
    result = SS_INVALID_HA;
  } else if (request->SRB_Lun != 0 ||
             (device = Device(request->SRB_HaId, request->SRB_Target)) == nullptr) {
    request->SRB_HaStat = HASTAT_SEL_TO;
    result = SS_NO_DEVICE;
  } else {
    // A reset ends whatever the device was still working on.
    AbortAllAt(request->SRB_HaId, request->SRB_Target);
  }
  entry.devicePresent = device != nullptr;
  entry.status = result;
  Record(entry, device);
  return CompleteRequest(*request, result);
}
