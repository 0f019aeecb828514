#include "transports/windows/spti_system.h"

#include <cstdio>

namespace spti {

namespace {

// Claims are named mutexes, visible to every session where the rights allow
// (administrators), else to the programs of this session.
constexpr const char* kScopes[] = {"Global\\", "Local\\"};

}  // namespace

SptiSystem SptiSystem::Real() {
  SptiSystem system;
  system.openDevice = [](const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  };
  system.openForAttributes = [](const char* path) {
    return CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  };
  system.deviceIoControl = [](HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                              DWORD outSize, DWORD* returned) {
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
  };
  system.lastError = [] { return GetLastError(); };
  system.closeHandle = [](HANDLE device) { CloseHandle(device); };
  system.driveType = [](const char* root) { return GetDriveTypeA(root); };
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  system.pageSize = info.dwPageSize;
  system.claim = [](const std::string& name) -> HANDLE {
    for (const char* scope : kScopes) {
      const std::string full = scope + name;
      HANDLE mutex = CreateMutexA(nullptr, FALSE, full.c_str());
      const DWORD error = GetLastError();
      if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
      }
      if (mutex != nullptr) return mutex;
      if (error != ERROR_ACCESS_DENIED) return nullptr;
      // Denied: held by a program with other rights, or no right to make a
      // global name; only the second lets the local name stand in.
      HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, full.c_str());
      if (existing != nullptr || GetLastError() == ERROR_ACCESS_DENIED) {
        if (existing != nullptr) CloseHandle(existing);
        return nullptr;
      }
    }
    return nullptr;
  };
  system.claimedElsewhere = [](const std::string& name) {
    for (const char* scope : kScopes) {
      const std::string full = scope + name;
      HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, full.c_str());
      if (existing != nullptr) {
        CloseHandle(existing);
        return true;
      }
      if (GetLastError() == ERROR_ACCESS_DENIED) return true;
    }
    return false;
  };
  return system;
}

}  // namespace spti
