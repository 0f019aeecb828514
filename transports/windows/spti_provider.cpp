#include "transports/windows/spti_provider.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "aspi/command_failure.h"
#include "aspi/command_time_limits.h"
#include "aspi/download_opcode.h"
#include "aspi/request_executor.h"
#include "aspi/srb_access.h"

namespace {

constexpr int kUnaddressedPortBase = 256;

// Reads the limits of the adapter behind `handle`; unknown where the driver
// does not answer.
spti::SptiAdapterLimits QueryAdapterLimits(spti::SptiSystem& system, HANDLE handle) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageAdapterProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_ADAPTER_DESCRIPTOR descriptor{};
  DWORD returned = 0;
  spti::SptiAdapterLimits limits;
  constexpr DWORD kNeeded = offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask) + sizeof(DWORD);
  if (!system.deviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                              &descriptor, sizeof descriptor, &returned) ||
      returned < kNeeded || descriptor.Size < kNeeded) {
    return limits;
  }
  limits.known = true;
  limits.maximumTransferLength = descriptor.MaximumTransferLength;
  limits.maximumPhysicalPages = descriptor.MaximumPhysicalPages;
  limits.alignmentMask = descriptor.AlignmentMask;
  return limits;
}

std::string DescribeError(DWORD error) {
  char text[96];
  if (error == ERROR_ACCESS_DENIED) {
    std::snprintf(text, sizeof text, "access denied (error %lu); run the program as administrator",
                  static_cast<unsigned long>(error));
  } else {
    std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
  }
  return text;
}

}  // namespace
std::vector<spti::SptiNumber> spti::NumberSptiDevices(
    const std::vector<spti::SptiAddress>& addresses) {
  std::vector<spti::SptiNumber> numbers(addresses.size(), spti::SptiNumber{0, 0});
  std::map<int, std::vector<std::size_t>> byPort;  // ascending port order
  for (std::size_t i = 0; i < addresses.size(); ++i) byPort[addresses[i].port].push_back(i);
  int adapter = 0;
  for (auto& [port, members] : byPort) {
    std::set<int> ids;
    bool keepIds = true;
    for (std::size_t i : members) {
      const spti::SptiAddress& a = addresses[i];
      if (a.path != 0 || a.lun != 0 || a.target < 0 || a.target > 7 ||
          !ids.insert(a.target).second) {
        keepIds = false;
      }
    }
    std::sort(members.begin(), members.end(), [&](std::size_t x, std::size_t y) {
      const spti::SptiAddress& a = addresses[x];
      const spti::SptiAddress& b = addresses[y];
      return std::tie(a.path, a.target, a.lun, x) < std::tie(b.path, b.target, b.lun, y);
    });
    for (std::size_t rank = 0; rank < members.size(); ++rank) {
      const std::size_t i = members[rank];
      numbers[i].adapter = static_cast<BYTE>(std::min(adapter, 255));
      numbers[i].target =
          static_cast<BYTE>(keepIds ? addresses[i].target : std::min<std::size_t>(rank, 255));
    }
    ++adapter;
  }
  return numbers;
}

SptiProvider::SptiProvider(spti::SptiSystem system, int maxDevices) : system_(std::move(system)) {
  std::vector<spti::SptiAddress> addresses;
  // The drive letters of type CD-ROM first, as many Windows tools find
  // drives: under Wine only a drive letter reaches the device node (its
  // \\.\CdRomN devices refuse pass-through).
  if (system_.driveType) {
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      const char root[] = {letter, ':', '\\', '\0'};
      if (system_.driveType(root) != DRIVE_CDROM) continue;
      const char path[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
      Open(path, kUnaddressedPortBase + 32 + (letter - 'A'), std::string("letter") + letter,
           addresses);
    }
  }
  const std::size_t fromLetters = devices_.size();
  for (int n = 0; n < maxDevices; ++n) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\CdRom%d", n);
    if (!Open(path, kUnaddressedPortBase + n, "cdrom" + std::to_string(n), addresses)) continue;
    // The same drive as one of the letters (same address), or one that
    // cannot be told apart from them (no address), is kept only once.
    const spti::SptiAddress& added = addresses.back();
    bool seen = fromLetters != 0 && added.port >= kUnaddressedPortBase;
    for (std::size_t i = 0; i < fromLetters && !seen; ++i) {
      const spti::SptiAddress& a = addresses[i];
      seen = a.port == added.port && a.path == added.path && a.target == added.target &&
             a.lun == added.lun;
    }
    if (seen) {
      system_.closeHandle(devices_.back().handle);
      devices_.pop_back();
      addresses.pop_back();
    }
  }
  const std::vector<spti::SptiNumber> numbers = spti::NumberSptiDevices(addresses);
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    devices_[i].adapter = numbers[i].adapter;
    devices_[i].target = numbers[i].target;
    adapterCount_ = std::max(adapterCount_, numbers[i].adapter + 1);
  }
}

bool SptiProvider::Open(const std::string& path, int unaddressedPort, const std::string& alias,
                        std::vector<spti::SptiAddress>& addresses) {
  HANDLE handle = system_.openDevice(path.c_str());
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    const DWORD error = system_.lastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      problems_.push_back(path + ": " + DescribeError(error));
    }
    if (error == ERROR_ACCESS_DENIED) accessDenied_ = true;
    return false;
  }
  Device device{path,   handle,        SCSI_ADDRESS{}, 0,
                0,      std::string(), nullptr,        spti::SptiAdapterLimits{},
                nullptr};
  device.address.Length = sizeof(SCSI_ADDRESS);
  DWORD returned = 0;
  spti::SptiAddress where{};
  if (system_.deviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &device.address,
                              sizeof device.address, &returned)) {
    where = spti::SptiAddress{device.address.PortNumber, device.address.PathId,
                              device.address.TargetId, device.address.Lun};
    char name[80];
    std::snprintf(name, sizeof name, "qtr5-download-drive-port%d-path%d-target%d-lun%d", where.port,
                  where.path, where.target, where.lun);
    device.claimName = name;
  } else {
    // Some drivers (USB bridges, virtual drives) keep their address to
    // themselves: such a device becomes an adapter of its own.
    device.address = SCSI_ADDRESS{};
    device.address.Length = sizeof(SCSI_ADDRESS);
    where = spti::SptiAddress{unaddressedPort, 0, 0, 0};
    device.claimName = "qtr5-download-drive-" + alias;
  }
  device.limits = QueryAdapterLimits(system_, handle);
  addresses.push_back(where);
  devices_.push_back(device);
  return true;
}

SptiProvider::~SptiProvider() {
  for (const Device& device : devices_) {
    system_.closeHandle(device.handle);
    if (device.claim != nullptr) system_.closeHandle(device.claim);
    if (device.mediaWatch != nullptr) {
      PREVENT_MEDIA_REMOVAL enable{FALSE};
      DWORD returned = 0;
      system_.deviceIoControl(device.mediaWatch, IOCTL_STORAGE_MCN_CONTROL, &enable, sizeof enable,
                              nullptr, 0, &returned);
      system_.closeHandle(device.mediaWatch);
    }
  }
}

aspi::DWORD SptiProvider::GetSupportInfo() {
  if (adapterCount_ == 0) return static_cast<aspi::DWORD>(SS_NO_ADAPTERS) << 8;
  return (static_cast<aspi::DWORD>(SS_COMP) << 8) | static_cast<aspi::DWORD>(adapterCount_);
}

SptiProvider::Device* SptiProvider::Find(BYTE adapter, BYTE target) {
  return const_cast<Device*>(std::as_const(*this).Find(adapter, target));
}

const SptiProvider::Device* SptiProvider::Find(BYTE adapter, BYTE target) const {
  for (const Device& device : devices_) {
    if (device.adapter == adapter && device.target == target) return &device;
  }
  return nullptr;
}

AspiProvider::KnownDevice SptiProvider::KnownIdentity(BYTE adapter, BYTE target) const {
  KnownDevice known;
  const Device* device = Find(adapter, target);
  if (device == nullptr) return known;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(STORAGE_DEVICE_DESCRIPTOR) char buffer[512] = {};
  DWORD returned = 0;
  if (!system_.deviceIoControl(device->handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                               buffer, sizeof buffer, &returned) ||
      returned < sizeof(STORAGE_DEVICE_DESCRIPTOR) || returned > sizeof buffer) {
    return known;
  }
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, buffer, sizeof descriptor);
  // A string at an offset within what came, NUL-terminated there; without
  // the blanks that pad it.
  auto text = [&](DWORD offset) {
    if (offset == 0 || offset >= returned) return std::string();
    std::string field(buffer + offset, strnlen(buffer + offset, returned - offset));
    while (!field.empty() && field.back() == ' ') field.pop_back();
    return field;
  };
  known.known = true;
  known.type = descriptor.DeviceType;
  known.vendorAndProduct = text(descriptor.VendorIdOffset) + " " + text(descriptor.ProductIdOffset);
  return known;
}

bool SptiProvider::HasTarget(BYTE adapter, BYTE target) const {
  return std::any_of(devices_.begin(), devices_.end(), [&](const Device& device) {
    return device.adapter == adapter && device.target == target;
  });
}

void SptiProvider::Tell(const Device& device, const std::string& text) {
  if (system_.tell) system_.tell(device.path + ": " + text);
}

// The class driver polls a drive for a disc every second or so (TEST UNIT
// READY or GET EVENT STATUS NOTIFICATION) while media change detection is
// on. IOCTL_STORAGE_MCN_CONTROL with TRUE turns it off for as long as the
// handle it came through stays open, or until FALSE undoes it; the driver
// refuses it on a handle opened for reading or writing, hence one opened
// for its attributes only. The driver turns detection back on when that
// handle is closed, however the program ends. Where it cannot be had the
// download goes on: the user is told.
void SptiProvider::StopMediaChangeDetection(Device& device) {
  HANDLE watch = system_.openForAttributes ? system_.openForAttributes(device.path.c_str())
                                           : INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
  if (watch == INVALID_HANDLE_VALUE || watch == nullptr) {
    error = system_.lastError();
    watch = nullptr;
  } else {
    PREVENT_MEDIA_REMOVAL disable{TRUE};
    DWORD returned = 0;
    if (!system_.deviceIoControl(watch, IOCTL_STORAGE_MCN_CONTROL, &disable, sizeof disable,
                                 nullptr, 0, &returned)) {
      error = system_.lastError();
      system_.closeHandle(watch);
      watch = nullptr;
    }
  }
  device.mediaWatch = watch;
  if (watch == nullptr) {
    Tell(device, "Windows' media change detection for the drive cannot be turned off (error " +
                     std::to_string(error) +
                     "): Windows may poll the drive while it rewrites its firmware.");
  }
}

aspi::DWORD SptiProvider::SendCommand(void* block) {
  return ExecuteRequest(*this, block);
}

CommandVerdict SptiProvider::RunCommand(const CommandRequest& command) {
  Device* device = Find(command.adapter, command.target);
  CommandVerdict refused;
  if (device->claim == nullptr) {
    if (command.download) {
      device->claim = system_.claim(device->claimName);
      if (device->claim == nullptr) {
        Tell(*device,
             "another program is using the drive (perhaps another copy of this one), so it "
             "cannot be claimed; the download command is not sent.");
        return refused;
      }
      StopMediaChangeDetection(*device);
    } else if (system_.claimedElsewhere(device->claimName)) {
      Tell(*device, "another program is downloading to the drive; no command is sent to it.");
      return refused;
    }
  }
  const std::string refusal =
      spti::SptiTransferRefusal(device->limits, command.length, system_.pageSize);
  if (!refusal.empty()) {
    Tell(*device, refusal + "; nothing was sent.");
    refused.status = SS_BUFFER_TO_BIG;
    return refused;
  }
  spti::SptiRequest request;
  spti::BuildSptiRequest(command, device->address, request);
  BYTE* data = nullptr;
  if (command.length != 0) {
    data = DataBuffer(command.length, spti::SptiDataAlignment(device->limits, system_.pageSize));
    if (data == nullptr) {
      Tell(*device, "no memory for the command's data; nothing was sent.");
      refused.status = SS_INSUFFICIENT_RESOURCES;
      return refused;
    }
    // The whole buffer is set: data out, or zeros where the device sends
    // fewer bytes than asked for.
    if (request.sptd.DataIn == SCSI_IOCTL_DATA_OUT) {
      std::memcpy(data, command.data, command.length);
    } else {
      std::memset(data, 0, command.length);
    }
    request.sptd.DataBuffer = data;
  }
  DWORD returned = 0;
  const bool ok =
      system_.deviceIoControl(device->handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request,
                              sizeof request, &request, sizeof request, &returned) != FALSE;
  const DWORD error = ok ? ERROR_SUCCESS : system_.lastError();
  if (data != nullptr && request.sptd.DataIn == SCSI_IOCTL_DATA_IN) {
    std::memcpy(command.data, data,
                std::min<DWORD>(request.sptd.DataTransferLength, command.length));
  }
  // Told before the final status is stored: once it is, the block is the
  // caller's again.
  if (!ok && spti::IsTimeoutError(error)) {
    Tell(*device, "the command (operation code " + spti::Hex(command.cdb[0]) +
                      ") timed out after " + std::to_string(request.sptd.TimeOutValue) + " s.");
  } else if (!ok && spti::IsGoneError(error)) {
    Tell(*device, "the device has gone away.");
  } else if (!ok && error == ERROR_ACCESS_DENIED) {
    accessDenied_ = true;
    Tell(*device, "the system refused the pass-through request (operation code " +
                      spti::Hex(command.cdb[0]) + "): " + DescribeError(error) + ".");
  } else if (command.download && !ok) {
    Tell(*device, "the download command could not be sent (error " + std::to_string(error) + ").");
  } else if (!ok) {
    Tell(*device, "the system refused the pass-through request (operation code " +
                      spti::Hex(command.cdb[0]) + ", error " + std::to_string(error) + ").");
  } else if (command.download && !spti::JudgeSpti(ok, error, request, command.length).clean) {
    Tell(*device, "the drive did not take the download command: " +
                      spti::DescribeOutcome(request, command.length) + ".");
  }
  return spti::SptiOutcome(ok, error, request, command.length);
}

BYTE* SptiProvider::DataBuffer(std::size_t length, std::size_t alignment) {
  if (data_ && dataLength_ >= length && data_.get_deleter().alignment >= alignment) {
    return data_.get();
  }
  data_.reset();
  dataLength_ = 0;
  auto* memory =
      static_cast<BYTE*>(::operator new[](length, std::align_val_t(alignment), std::nothrow));
  if (memory == nullptr) return nullptr;
  data_ = std::unique_ptr<BYTE[], AlignedFree>(memory, AlignedFree{alignment});
  dataLength_ = length;
  return memory;
}

BYTE SptiProvider::ResetTarget(BYTE adapter, BYTE target, BYTE& haStat) {
  haStat = HASTAT_OK;
  DWORD returned = 0;
  const bool ok = system_.deviceIoControl(Find(adapter, target)->handle, IOCTL_STORAGE_RESET_DEVICE,
                                          nullptr, 0, nullptr, 0, &returned) != FALSE;
  return ok ? SS_COMP : SS_ERR;
}
