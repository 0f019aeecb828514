// The handful of Windows calls the pass-through provider makes, gathered in
// one place so that tests can put a stand-in device behind them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>

struct SptiSystem {
  // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
  // FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  // INVALID_HANDLE_VALUE and the error in lastError() on failure.
  std::function<HANDLE(const char* path)> openDevice;
  // DeviceIoControl without overlapped I/O.
  std::function<BOOL(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned)>
      deviceIoControl;
  std::function<DWORD()> lastError;
  std::function<void(HANDLE device)> closeHandle;

  // The real calls.
  static SptiSystem Real();
};
