// The static thread runtime (winpthreads) imports GetTickCount64, which
// Windows XP's kernel32 does not export: the loader would refuse to start
// the program there. The import's slot is defined here instead, so the
// import library's entry is never linked: the system's call is used where
// it exists, else GetTickCount extended past its wrap.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "frontends/windows/tick_count_64.h"

namespace {

using TickCount64Call = ULONGLONG(WINAPI*)();

// Made before main, before any thread of the program waits.
struct FallbackClock {
  FallbackClock() {
    InitializeCriticalSection(&lock);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    system = kernel == nullptr ? nullptr
                               : reinterpret_cast<TickCount64Call>(reinterpret_cast<void*>(
                                     GetProcAddress(kernel, "GetTickCount64")));
  }
  CRITICAL_SECTION lock;
  TickCount64Call system;
  TickExtender extender;
} clock;

ULONGLONG WINAPI TickCount64() {
  if (clock.system != nullptr) return clock.system();
  EnterCriticalSection(&clock.lock);
  const ULONGLONG now = clock.extender.Extend(GetTickCount());
  LeaveCriticalSection(&clock.lock);
  return now;
}

}  // namespace

extern "C" {
#if defined(__i386__)
extern TickCount64Call qtr5_GetTickCount64_import __asm__("__imp__GetTickCount64@0");
#else
extern TickCount64Call qtr5_GetTickCount64_import __asm__("__imp_GetTickCount64");
#endif
TickCount64Call qtr5_GetTickCount64_import = TickCount64;
}
