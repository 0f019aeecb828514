// Stand-in CD-ROM devices behind the spti::SptiSystem calls: each \\.\CdRomN that
// exists has an address (or none), and answers pass-through requests
// through a function the test supplies. Every call is recorded.
#pragma once

// windows.h first: the other two build on its types.
#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "transports/windows/spti_provider.h"
#include "transports/windows/spti_system.h"

struct FakeCdRom {
  std::optional<SCSI_ADDRESS> address;  // nullopt: IOCTL_SCSI_GET_ADDRESS fails
  DWORD openError = ERROR_SUCCESS;      // non-zero: CreateFileA fails with it
  // What IOCTL_STORAGE_QUERY_PROPERTY tells of the adapter; nullopt: the
  // driver does not answer the query.
  std::optional<STORAGE_ADAPTER_DESCRIPTOR> adapter;
  // What the query tells of the device itself (type, vendor, product);
  // a type of -1: the driver does not answer it.
  int deviceType = -1;
  std::string vendor, product;
  // Answers one IOCTL_SCSI_PASS_THROUGH_DIRECT: fills the request (status,
  // sense, data) and returns false with `error` set to fail the call.
  std::function<bool(spti::SptiRequest& request, DWORD& error)> answer;
};

struct IoctlCall {
  int device;  // N of \\.\CdRomN
  DWORD code;
  spti::SptiRequest request;       // as it was handed over (pass-through only)
  std::vector<std::uint8_t> data;  // the data buffer as it was handed over
};

class FakeCdRoms {
 public:
  std::map<int, FakeCdRom> devices;
  std::vector<IoctlCall> calls;
  std::set<int> openHandles;
  int opened = 0;
  std::set<std::string> heldElsewhere;  // claims another program holds
  std::vector<std::string> claims;      // claims this program took
  int claimsReleased = 0;
  std::vector<std::string> told;  // lines for the user
  // Media change detection: how often it is turned off now, by device, as
  // the class driver counts it; handles opened for attributes only.
  std::map<int, int> mcnDisabled;
  int watchesOpen = 0;
  // Drive letters of type CD-ROM, each on a device of `devices` (numbered
  // past the \\.\CdRomN range, so only its letter reaches it).
  std::map<char, int> letters;

  static SCSI_ADDRESS Address(UCHAR port, UCHAR path, UCHAR target, UCHAR lun = 0) {
    SCSI_ADDRESS a{};
    a.Length = sizeof a;
    a.PortNumber = port;
    a.PathId = path;
    a.TargetId = target;
    a.Lun = lun;
    return a;
  }

  static STORAGE_ADAPTER_DESCRIPTOR Adapter(DWORD maxTransfer, DWORD maxPages, DWORD alignMask) {
    STORAGE_ADAPTER_DESCRIPTOR d{};
    d.Version = d.Size = sizeof d;
    d.MaximumTransferLength = maxTransfer;
    d.MaximumPhysicalPages = maxPages;
    d.AlignmentMask = alignMask;
    return d;
  }

  spti::SptiSystem System() {
    spti::SptiSystem system;
    system.openDevice = [this](const char* path) -> HANDLE {
      int n = -1;
      char letter = 0;
      if (std::sscanf(path, "\\\\.\\%c:", &letter) == 1 && path[5] == ':' && path[6] == 0) {
        if (letters.count(letter) == 0) return Fail(ERROR_FILE_NOT_FOUND);
        n = letters.at(letter);
      } else if (std::sscanf(path, "\\\\.\\CdRom%d", &n) != 1) {
        return Fail(ERROR_FILE_NOT_FOUND);
      }
      auto it = devices.find(n);
      if (it == devices.end()) return Fail(ERROR_FILE_NOT_FOUND);
      if (it->second.openError != ERROR_SUCCESS) return Fail(it->second.openError);
      ++opened;
      openHandles.insert(n);
      return HandleOf(n);
    };
    system.openForAttributes = [this](const char* path) -> HANDLE {
      int n = -1;
      char letter = 0;
      if (std::sscanf(path, "\\\\.\\%c:", &letter) == 1 && letters.count(letter) != 0) {
        n = letters.at(letter);
      } else if (std::sscanf(path, "\\\\.\\CdRom%d", &n) != 1 || devices.count(n) == 0) {
        return Fail(ERROR_FILE_NOT_FOUND);
      }
      ++watchesOpen;
      return HandleOf(kWatchBase + n);
    };
    system.deviceIoControl = [this](HANDLE handle, DWORD code, void* in, DWORD inSize, void* out,
                                    DWORD outSize, DWORD* returned) -> BOOL {
      // The driver takes media change control only on a handle opened for
      // attributes only, and nothing else on one.
      if (DeviceOf(handle) >= kWatchBase) {
        if (code != IOCTL_STORAGE_MCN_CONTROL || inSize != sizeof(PREVENT_MEDIA_REMOVAL))
          return FailCall(ERROR_ACCESS_DENIED);
        const bool off = static_cast<const PREVENT_MEDIA_REMOVAL*>(in)->PreventMediaRemoval;
        mcnDisabled[DeviceOf(handle) - kWatchBase] += off ? 1 : -1;
        return TRUE;
      }
      if (code == IOCTL_STORAGE_MCN_CONTROL) return FailCall(ERROR_INVALID_FUNCTION);
      const int n = DeviceOf(handle);
      FakeCdRom& device = devices.at(n);
      IoctlCall call{n, code, {}, {}};
      if (code == IOCTL_SCSI_GET_ADDRESS) {
        calls.push_back(call);
        if (!device.address || outSize < sizeof(SCSI_ADDRESS))
          return FailCall(ERROR_INVALID_FUNCTION);
        std::memcpy(out, &*device.address, sizeof(SCSI_ADDRESS));
        *returned = sizeof(SCSI_ADDRESS);
        return TRUE;
      }
      if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
        calls.push_back(call);
        const auto* query = static_cast<const STORAGE_PROPERTY_QUERY*>(in);
        if (device.deviceType >= 0 && query->PropertyId == StorageDeviceProperty) {
          auto* d = static_cast<STORAGE_DEVICE_DESCRIPTOR*>(out);  // the strings behind it
          const std::string strings = device.vendor + '\0' + device.product + '\0';
          *d = STORAGE_DEVICE_DESCRIPTOR{};
          d->DeviceType = static_cast<BYTE>(device.deviceType);
          d->VendorIdOffset = sizeof *d;
          d->ProductIdOffset = static_cast<DWORD>(sizeof *d + device.vendor.size() + 1);
          std::memcpy(d + 1, strings.data(), strings.size());
          *returned = static_cast<DWORD>(sizeof *d + strings.size());
          return TRUE;
        }
        if (!device.adapter || inSize < sizeof *query ||
            query->PropertyId != StorageAdapterProperty ||
            query->QueryType != PropertyStandardQuery) {
          return FailCall(ERROR_INVALID_FUNCTION);
        }
        const DWORD size = std::min<DWORD>(outSize, sizeof(STORAGE_ADAPTER_DESCRIPTOR));
        std::memcpy(out, &*device.adapter, size);
        *returned = size;
        return TRUE;
      }
      if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
        if (in != out || inSize != sizeof(spti::SptiRequest) ||
            outSize != sizeof(spti::SptiRequest)) {
          return FailCall(ERROR_INVALID_PARAMETER);
        }
        auto& request = *static_cast<spti::SptiRequest*>(in);
        call.request = request;
        const auto* bytes = static_cast<const std::uint8_t*>(request.sptd.DataBuffer);
        if (bytes != nullptr) call.data.assign(bytes, bytes + request.sptd.DataTransferLength);
        calls.push_back(call);
        DWORD error = ERROR_SUCCESS;
        if (!device.answer || !device.answer(request, error)) return FailCall(error);
        *returned = sizeof(spti::SptiRequest);
        return TRUE;
      }
      calls.push_back(call);
      return device.answer ? TRUE : FailCall(ERROR_INVALID_FUNCTION);
    };
    system.driveType = [this](const char* root) -> UINT {
      if (letters.count(root[0]) != 0) return DRIVE_CDROM;
      return root[0] == 'C' ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
    };
    system.lastError = [this] { return lastError_; };
    system.closeHandle = [this](HANDLE handle) {
      if (DeviceOf(handle) >= kClaimBase) {
        ++claimsReleased;
      } else if (DeviceOf(handle) >= kWatchBase) {
        --watchesOpen;
        mcnDisabled[DeviceOf(handle) - kWatchBase] = 0;  // the driver's clean-up
      } else {
        openHandles.erase(DeviceOf(handle));
      }
    };
    system.claim = [this](const std::string& name) -> HANDLE {
      if (heldElsewhere.count(name) != 0) return nullptr;
      claims.push_back(name);
      return HandleOf(kClaimBase + static_cast<int>(claims.size()));
    };
    system.claimedElsewhere = [this](const std::string& name) {
      return heldElsewhere.count(name) != 0;
    };
    system.tell = [this](const std::string& line) { told.push_back(line); };
    return system;
  }

 private:
  static constexpr int kWatchBase = 0x400;
  static constexpr int kClaimBase = 0x800;
  static HANDLE HandleOf(int n) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x100 + n));
  }
  static int DeviceOf(HANDLE h) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(h) - 0x100);
  }
  HANDLE Fail(DWORD error) {
    lastError_ = error;
    return INVALID_HANDLE_VALUE;
  }
  BOOL FailCall(DWORD error) {
    lastError_ = error;
    return FALSE;
  }
  DWORD lastError_ = ERROR_SUCCESS;
};
