// The emulated bus: building it, its clock, its log and the support query.
#include "transports/emulated/emulated_bus.h"

#include <chrono>
#include <cstddef>

#include "transports/emulated/state_store.h"

namespace {

std::uint32_t SteadyMilliseconds() {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace

EmulatedBus::EmulatedBus() : clock_(SteadyMilliseconds) {}

EmulatedBus::~EmulatedBus() {
  if (InstalledAspiProvider() == this) InstallAspiProvider(nullptr);
  std::list<std::unique_ptr<Worker>> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& worker : workers_) worker->cancelled = true;
    workers.swap(workers_);
  }
  wake_.notify_all();
  // A service that shuts down ends what it still holds.
  // A worker that delivered its answer has no claim on the block any more,
  // which may be gone by now.
  for (auto& worker : workers) {
    worker->thread.join();
    if (!worker->delivering) EndAborted(worker->request);
  }
  for (const PendingRequest& pending : pending_) EndAborted(pending.request);
}

std::unique_ptr<EmulatedBus> EmulatedBus::FromLayout(std::string_view text, std::string& error) {
  emulated::Layout layout;
  if (!emulated::ParseLayout(text, layout, error)) return nullptr;
  auto bus = std::make_unique<EmulatedBus>();
  bus->SetServiceReady(layout.serviceReady);
  bus->SetAccessDenied(layout.accessDenied);
  bus->SetAdapterCount(layout.adapterCount);
  for (const emulated::LayoutEntry& entry : layout.entries) {
    if (!bus->AddDevice(entry.adapter, entry.target, entry.options, error)) return nullptr;
  }
  return bus;
}

void EmulatedBus::SetAdapterCount(std::uint8_t count) {
  if (count > emulated::kMaxAdapters) count = emulated::kMaxAdapters;
  adapters_.resize(count);
  for (auto& targets : adapters_) targets.resize(emulated::kTargetsPerAdapter);
}

void EmulatedBus::SetServiceReady(bool ready) {
  ready_ = ready;
}

bool EmulatedBus::AddDevice(std::uint8_t adapter, std::uint8_t target, const DeviceOptions& options,
                            std::string& error) {
  if (adapter >= emulated::kMaxAdapters || target >= emulated::kTargetsPerAdapter) {
    error = "address " + std::to_string(adapter) + ":" + std::to_string(target) +
            " is outside adapters 0 to 15 and targets 0 to 7";
    return false;
  }
  if (adapter >= adapters_.size()) SetAdapterCount(static_cast<std::uint8_t>(adapter + 1));
  auto& slot = adapters_[adapter][target];
  if (slot != nullptr) {
    error = "address " + std::to_string(adapter) + ":" + std::to_string(target) +
            " already holds a device";
    return false;
  }
  auto device = std::make_unique<EmulatedDevice>(options, [this] { return Now(); });
  if (!stateDir_.empty() && device->Kind() == DeviceKind::kDrive) {
    emulated::StoredDriveState state;
    if (!emulated::LoadDriveState(emulated::DriveStateFolder(stateDir_, adapter, target), state,
                                  error))
      return false;
    device->RestoreState(state.revision.empty() && !state.firmware.empty()
                             ? RevisionFromImage(state.firmware.data())
                             : state.revision,
                         std::move(state.firmware));
  }
  slot = std::move(device);
  return true;
}

EmulatedDevice* EmulatedBus::Device(std::uint8_t adapter, std::uint8_t target) {
  if (adapter >= adapters_.size() || target >= emulated::kTargetsPerAdapter) return nullptr;
  return adapters_[adapter][target].get();
}

void EmulatedBus::SetClock(std::function<std::uint32_t()> milliseconds) {
  clock_ =
      milliseconds ? std::move(milliseconds) : std::function<std::uint32_t()>(SteadyMilliseconds);
}

std::vector<LoggedCommand> EmulatedBus::CommandsTo(std::uint8_t adapter,
                                                   std::uint8_t target) const {
  std::vector<LoggedCommand> commands;
  for (const LoggedCommand& entry : log_) {
    if (entry.requestKind == SC_EXEC_SCSI_CMD && entry.adapter == adapter &&
        entry.target == target) {
      commands.push_back(entry);
    }
  }
  return commands;
}

void EmulatedBus::ClearLog() {
  log_.clear();
  for (auto& targets : adapters_) {
    for (auto& device : targets) {
      if (device != nullptr) device->ClearLog();
    }
  }
}

aspi::DWORD EmulatedBus::GetSupportInfo() {
  if (!ready_) return static_cast<aspi::DWORD>(SS_FAILED_INIT) << 8;
  return (static_cast<aspi::DWORD>(SS_COMP) << 8) | static_cast<aspi::DWORD>(adapters_.size());
}

void EmulatedBus::Record(LoggedCommand entry, EmulatedDevice* device) {
  entry.sequence = log_.size();
  if (device != nullptr) device->AppendLog(entry);
  log_.push_back(std::move(entry));
}

AspiProvider::KnownDevice EmulatedBus::KnownIdentity(aspi::BYTE adapter, aspi::BYTE target) const {
  KnownDevice known;
  if (adapter >= adapters_.size() || target >= adapters_[adapter].size()) return known;
  const EmulatedDevice* device = adapters_[adapter][target].get();
  if (device == nullptr) return known;
  known.known = true;
  known.type = device->Peripheral() & 0x1F;
  known.vendorAndProduct = device->VendorAndProduct();
  return known;
}
