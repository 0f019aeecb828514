#include <atomic>

#include "system/clock.h"
#include "system/power.h"
#include "system/system_time.h"

namespace qtr5 {
namespace {

std::atomic<unsigned> g_timeScale{1};

// The real clock, `g_timeScale` times faster.
class ScaledClock : public Clock {
 public:
  std::uint32_t TickCount() override {
    return SteadyClock().TickCount() * static_cast<std::uint32_t>(g_timeScale.load());
  }
  void Sleep(std::uint32_t milliseconds) override {
    SteadyClock().Sleep(milliseconds / g_timeScale.load());
  }

 protected:
  std::chrono::microseconds RealTimeOf(std::uint32_t ticks) override {
    const unsigned factor = g_timeScale.load();
    return std::chrono::microseconds((std::uint64_t{ticks} * 1000 + factor - 1) / factor);
  }
};
std::atomic<void (*)(bool)> g_keepAwakeObserver{nullptr};

}  // namespace

std::uint32_t TickCount() {
  return CurrentClock().TickCount();
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  CurrentClock().Sleep(milliseconds);
}

void SetTimeScale(unsigned factor) {
  static ScaledClock clock;  // lives for the rest of the program
  g_timeScale.store(factor == 0 ? 1 : factor);
  InstallClock(&clock);
}

std::uint32_t RealMilliseconds(std::uint32_t ticks) {
  const unsigned factor = g_timeScale.load();
  return static_cast<std::uint32_t>((std::uint64_t{ticks} + factor - 1) / factor);
}

void KeepSystemAwake(bool keep) {
  SetExecutionState(keep ? kExecutionContinuous | kExecutionSystemRequired : kExecutionContinuous);
  if (auto* observer = g_keepAwakeObserver.load()) observer(keep);
}

void SetKeepAwakeObserver(void (*observer)(bool keep)) {
  g_keepAwakeObserver.store(observer);
}

}  // namespace qtr5
