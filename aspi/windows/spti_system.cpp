#include "aspi/windows/spti_system.h"

SptiSystem SptiSystem::Real() {
  SptiSystem system;
  system.openDevice = [](const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  };
  system.deviceIoControl = [](HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                              DWORD outSize, DWORD* returned) {
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
  };
  system.lastError = [] { return GetLastError(); };
  system.closeHandle = [](HANDLE device) { CloseHandle(device); };
  return system;
}
