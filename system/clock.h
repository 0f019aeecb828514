// The time source behind GetTickCount and Sleep. By default a real steady
// clock: GetTickCount counts milliseconds (wrapping at 2^32 like the Windows
// tick counter) and Sleep blocks the calling thread. Tests install a fake
// clock of their own (tests/support/fake_clock.h), so that timed waits run
// instantly and in a known order, and so that the emulated drive can share
// the same fake time.
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
// is readable; false when it is (also for a duration of 0, which only looks).
bool WaitRealTime(std::chrono::microseconds duration);

// A descriptor that, once readable, ends every wait of the real clocks at
// once; -1 for none. POSIX only. Its owner (the program's answer to signals,
// which writes to a pipe) keeps it open for the rest of the program.
void SetWakeDescriptor(int fd);

// The real clock: std::chrono::steady_clock, offset so that its tick count
// starts near zero when the program starts; Sleep really sleeps.
Clock& SteadyClock();

// Makes `clock` the time source of GetTickCount and Sleep; nullptr restores
// the real clock. The clock must outlive its installation. Not meant to be
// switched while another thread reads the time.
void InstallClock(Clock* clock);

// The installed time source (the real clock when none was installed).
Clock& CurrentClock();

}  // namespace qtr5
