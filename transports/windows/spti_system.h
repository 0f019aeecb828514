// The handful of Windows calls the pass-through provider makes, gathered in
// one place so that tests can put a stand-in device behind them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>

namespace spti {

struct SptiSystem {
  // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
  // FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  // INVALID_HANDLE_VALUE and the error in lastError() on failure.
  std::function<HANDLE(const char* path)> openDevice;
  // CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ |
  // FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr): the only access
  // IOCTL_STORAGE_MCN_CONTROL is taken on.
  std::function<HANDLE(const char* path)> openForAttributes;
  // DeviceIoControl without overlapped I/O.
  std::function<BOOL(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned)>
      deviceIoControl;
  std::function<DWORD()> lastError;
  std::function<void(HANDLE device)> closeHandle;
  // GetDriveTypeA(root), root as "D:\\"; empty: drive letters are not looked at.
  std::function<UINT(const char* root)> driveType;
  // The size of a memory page.
  DWORD pageSize = 4096;

  // A claim on a drive, so that two programs never send to it while one of
  // them downloads: `claim` takes the claim `name` for this process (a
  // handle to close when done), or returns nullptr when another process
  // holds it or it cannot be taken. `claimedElsewhere` tells whether some
  // other process holds `name`.
  std::function<HANDLE(const std::string& name)> claim;
  std::function<bool(const std::string& name)> claimedElsewhere;

  // Where failures the user must know about during the run are told, one
  // line each: the program's diagnostic sink (see CreateWindowsProvider);
  // empty: nowhere.
  std::function<void(const std::string& line)> tell;

  // The real calls.
  static SptiSystem Real();
};

}  // namespace spti
