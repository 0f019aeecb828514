// The emulated bus: host adapters with targets 0 to 7, each empty or holding
// an emulated device, answering the two entry points as the service would.
// It keeps a log of every request block it was handed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "aspi/aspi_provider.h"
#include "transports/emulated/command_log.h"
#include "transports/emulated/device_model.h"
#include "transports/emulated/layout.h"

class EmulatedBus : public AspiProvider {
 public:
  // A ready service with no adapter; add adapters and devices below.
  EmulatedBus();
  // Stops every command still running on a thread of its own.
  ~EmulatedBus() override;
  EmulatedBus(const EmulatedBus&) = delete;
  EmulatedBus& operator=(const EmulatedBus&) = delete;

  // Builds the bus the layout `text` describes (see transports/emulated/layout.h); nullptr with a
  // message in `error` when the layout is malformed.
  static std::unique_ptr<EmulatedBus> FromLayout(std::string_view text, std::string& error);

  // --- building ---
  void SetAdapterCount(std::uint8_t count);
  // A service that is not ready answers GetASPI32SupportInfo with
  // SS_FAILED_INIT and no adapter, and fails every request.
  void SetServiceReady(bool ready);
  // A machine whose devices the system refuses the program for want of
  // rights, as the machine's own transport reports it: the bus offers no
  // adapter, and AccessDenied says why.
  void SetAccessDenied(bool denied) { accessDenied_ = denied; }
  bool AccessDenied() const { return accessDenied_; }
  // Puts a device at adapter:target (adds adapters up to `adapter`). False
  // when the address is out of range or taken, or its stored state is damaged.
  bool AddDevice(std::uint8_t adapter, std::uint8_t target, const DeviceOptions& options,
                 std::string& error);
  // The device at adapter:target, or nullptr.
  EmulatedDevice* Device(std::uint8_t adapter, std::uint8_t target);

  // Keeps every drive's firmware and revision in DIR/ADAPTER-TARGET/ (see
  // transports/emulated/state_store.h): loads what is there now, and saves after every
  // good download. False when DIR cannot be created or a stored state is
  // damaged.
  bool SetStateDirectory(const std::string& dir, std::string& error);
  // The last failure to save a drive's state after a download ("" if none).
  const std::string& LastStateError() const { return lastStateError_; }

  // The millisecond clock of the devices' busy time; steady_clock by default.
  void SetClock(std::function<std::uint32_t()> milliseconds);

  // --- the log ---
  // Every request block handed over, in order (also to empty addresses).
  const std::vector<LoggedCommand>& Log() const { return log_; }
  // The SCSI commands sent to adapter:target, in order.
  std::vector<LoggedCommand> CommandsTo(std::uint8_t adapter, std::uint8_t target) const;
  void ClearLog();

  // --- AspiProvider ---
  aspi::DWORD GetSupportInfo() override;
  aspi::DWORD SendCommand(void* srb) override;
  const char* Name() const override { return "emulated"; }
  KnownDevice KnownIdentity(aspi::BYTE adapter, aspi::BYTE target) const override;

 private:
  struct Worker {
    void* request = nullptr;
    std::uint8_t adapter = 0;
    std::uint8_t target = 0;
    std::thread thread;
    bool cancelled = false;
    bool delivering = false;  // past its delay: it ends the command itself
    bool finished = false;
  };
  struct PendingRequest {
    void* request;
    std::uint8_t adapter;
    std::uint8_t target;
  };

  aspi::DWORD ExecuteScsi(void* srb);
  aspi::DWORD Abort(void* srb);
  aspi::DWORD Reset(void* srb);
  void Deliver(void* srb, const DeviceResponse& response);
  void StartWorker(void* srb, DeviceResponse response);
  // Stores SS_ABORTED and calls the completion routine of a posted command.
  void EndAborted(void* srb);
  void AbortAllAt(std::uint8_t adapter, std::uint8_t target);
  // Takes back a request block the bus still works on: stops its thread and
  // forgets it. True when it was still pending.
  bool Withdraw(void* srb);
  void JoinFinishedWorkers();
  void Record(LoggedCommand entry, EmulatedDevice* device);
  void SaveState(std::uint8_t adapter, std::uint8_t target, const EmulatedDevice& device);
  std::uint32_t Now() const { return clock_(); }

  bool ready_ = true;
  bool accessDenied_ = false;
  std::vector<std::vector<std::unique_ptr<EmulatedDevice>>> adapters_;
  std::function<std::uint32_t()> clock_;
  std::string stateDir_;
  std::string lastStateError_;
  std::vector<LoggedCommand> log_;
  std::vector<PendingRequest> pending_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::list<std::unique_ptr<Worker>> workers_;
};
