#include <windows.h>

#include <atomic>

#include "system/system_time.h"

namespace qtr5 {
namespace {

// The tick counter of a scaled run counts from the moment the scale was set.
std::atomic<unsigned> g_timeScale{1};
std::atomic<DWORD> g_scaledFrom{0};
std::atomic<void (*)(bool)> g_keepAwakeObserver{nullptr};

}  // namespace

std::uint32_t TickCount() {
  const unsigned factor = g_timeScale.load();
  if (factor == 1) return GetTickCount();
  return (GetTickCount() - g_scaledFrom.load()) * factor;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds / g_timeScale.load());
}

void SetTimeScale(unsigned factor) {
  g_scaledFrom.store(GetTickCount());
  g_timeScale.store(factor == 0 ? 1 : factor);
}

std::uint32_t RealMilliseconds(std::uint32_t ticks) {
  const unsigned factor = g_timeScale.load();
  return static_cast<std::uint32_t>((std::uint64_t{ticks} + factor - 1) / factor);
}

void KeepSystemAwake(bool keep) {
  SetThreadExecutionState(keep ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
  if (auto* observer = g_keepAwakeObserver.load()) observer(keep);
}

void SetKeepAwakeObserver(void (*observer)(bool keep)) {
  g_keepAwakeObserver.store(observer);
}

}  // namespace qtr5
