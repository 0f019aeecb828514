// The tests' clock behind GetTickCount and Sleep (see system/clock.h), and
// its installation for a scope.
#pragma once

#include <atomic>
#include <cstdint>

#include "system/clock.h"

namespace qtr5 {

// A clock that moves only when told to. Every TickCount() reading returns the
// current time and then advances it by the auto-advance step (0 by default),
// so that a loop that polls the tick counter makes progress. Sleep(ms)
// advances the time by ms without blocking and is counted. WaitForTick
// neither blocks nor moves the time (it is counted too): the time moves only
// by readings and Sleep, so loops that wait show the same readings as loops
// that poll. Safe to read from several threads.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::uint32_t start = 0, std::uint32_t autoAdvance = 0)
      : now_(start), autoAdvance_(autoAdvance) {}

  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;
  bool WaitForTick(std::uint32_t deadline) override;

  // Number of WaitForTick calls since construction.
  int TickWaits() const { return tickWaits_.load(); }

  // The current time, without advancing it.
  std::uint32_t Now() const { return now_.load(); }
  // Sets the current time (wrapping arithmetic: set it near 2^32 to test wraps).
  void Set(std::uint32_t now) { now_.store(now); }
  // Moves the time forward by `milliseconds` (wrapping at 2^32).
  void Advance(std::uint32_t milliseconds) { now_.fetch_add(milliseconds); }
  // How far each TickCount() reading advances the time afterwards.
  void SetAutoAdvance(std::uint32_t milliseconds) { autoAdvance_.store(milliseconds); }

  // Number of Sleep calls, and the sum of their arguments, since construction.
  int SleepCount() const { return sleepCount_.load(); }
  std::uint64_t TotalSlept() const { return totalSlept_.load(); }
  // The argument of the most recent Sleep call (0 when there was none).
  std::uint32_t LastSleep() const { return lastSleep_.load(); }
  // Number of TickCount readings since construction.
  int TickReadings() const { return tickReadings_.load(); }

 private:
  std::atomic<std::uint32_t> now_;
  std::atomic<std::uint32_t> autoAdvance_;
  std::atomic<int> sleepCount_{0};
  std::atomic<std::uint64_t> totalSlept_{0};
  std::atomic<std::uint32_t> lastSleep_{0};
  std::atomic<int> tickReadings_{0};
  std::atomic<int> tickWaits_{0};
};

// Installs a clock for the lifetime of the object and restores the previous
// one afterwards.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) : previous_(&CurrentClock()) { InstallClock(&clock); }
  ~ScopedClock() { InstallClock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace qtr5
