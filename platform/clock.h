// The time source behind GetTickCount and Sleep. By default a real steady
// clock: GetTickCount counts milliseconds (wrapping at 2^32 like the Windows
// tick counter) and Sleep blocks the calling thread. Tests install a
// FakeClock, so that timed waits run instantly and in a known order, and so
// that the emulated drive can share the same fake time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace qtr5 {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a monotonic counter that wraps at 2^32.
  virtual std::uint32_t TickCount() = 0;
  // Waits at least `milliseconds` (0 yields the rest of the time slice), or
  // less when the wake descriptor becomes readable (see SetWakeDescriptor).
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Waits without using the processor until TickCount() reaches `deadline`
  // (modulo 2^32: a deadline more than 2^31 ms ahead counts as passed).
  // Returns false when the wake descriptor ended the wait first.
  virtual bool WaitForTick(std::uint32_t deadline);

 protected:
  // The real time that `ticks` of this clock take.
  virtual std::chrono::microseconds RealTimeOf(std::uint32_t ticks) {
    return std::chrono::milliseconds(ticks);
  }
};

// Blocks the calling thread for `duration`, or less when the wake descriptor
// is readable; false when it is.
bool WaitRealTime(std::chrono::microseconds duration);

// A descriptor that, once readable, ends every wait of the real clocks at
// once (the program's signal handler writes to a pipe); -1 for none. POSIX
// only; the caller keeps it open for the rest of the program.
void SetWakeDescriptor(int fd);

// Whether the wake descriptor is readable now.
bool WakeRequested();

// The real clock: std::chrono::steady_clock, offset so that its tick count
// starts near zero when the program starts; Sleep really sleeps.
Clock& SteadyClock();

// Makes `clock` the time source of GetTickCount and Sleep; nullptr restores
// the real clock. The clock must outlive its installation. Not meant to be
// switched while another thread reads the time.
void InstallClock(Clock* clock);

// The installed time source (the real clock when none was installed).
Clock& CurrentClock();

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
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace qtr5
