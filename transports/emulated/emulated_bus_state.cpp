// The emulated bus's drive state kept in a folder across runs.
#include <cstddef>
#include <filesystem>

#include "transports/emulated/emulated_bus.h"
#include "transports/emulated/state_store.h"

bool EmulatedBus::SetStateDirectory(const std::string& dir, std::string& error) {
  if (dir.empty()) {
    error = "the state folder name is empty";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir, ec)) {
    error = "cannot use " + dir + " as the state folder" + (ec ? ": " + ec.message() : "");
    return false;
  }
  // Everything is read before anything changes: a damaged state leaves the
  // drives as they were.
  struct Loaded {
    EmulatedDevice* device;
    emulated::StoredDriveState state;
  };
  std::vector<Loaded> loaded;
  for (std::size_t a = 0; a < adapters_.size(); ++a) {
    for (std::size_t t = 0; t < emulated::kTargetsPerAdapter; ++t) {
      EmulatedDevice* device = adapters_[a][t].get();
      if (device == nullptr || device->Kind() != DeviceKind::kDrive) continue;
      Loaded entry{device, {}};
      if (!emulated::LoadDriveState(
              emulated::DriveStateFolder(dir, static_cast<unsigned>(a), static_cast<unsigned>(t)),
              entry.state, error)) {
        return false;
      }
      loaded.push_back(std::move(entry));
    }
  }
  for (Loaded& entry : loaded) {
    std::string revision = entry.state.revision;
    if (revision.empty() && !entry.state.firmware.empty()) {
      revision = RevisionFromImage(entry.state.firmware.data());
    }
    entry.device->RestoreState(revision, std::move(entry.state.firmware));
  }
  stateDir_ = dir;
  return true;
}

void EmulatedBus::SaveState(std::uint8_t adapter, std::uint8_t target,
                            const EmulatedDevice& device) {
  if (stateDir_.empty()) return;
  std::string error;
  if (emulated::SaveDriveState(emulated::DriveStateFolder(stateDir_, adapter, target),
                               device.Revision(), device.Firmware(), error)) {
    lastStateError_.clear();
  } else {
    lastStateError_ = error;
  }
}
