// The time source behind GetTickCount and Sleep.
#include "system/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

#ifndef _WIN32
#include <poll.h>
#include <ctime>
#endif

namespace qtr5 {
namespace {

class RealClock : public Clock {
 public:
  std::uint32_t TickCount() override {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<std::uint32_t>(ms);  // wraps at 2^32 like the tick counter
  }
  void Sleep(std::uint32_t milliseconds) override {
    if (milliseconds == 0) {
      std::this_thread::yield();
    } else {
      WaitRealTime(std::chrono::milliseconds(milliseconds));
    }
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

std::atomic<Clock*> g_clock{nullptr};
std::atomic<int> g_wakeFd{-1};

}  // namespace

bool Clock::WaitForTick(std::uint32_t deadline) {
  for (;;) {
    const auto left = static_cast<std::int32_t>(deadline - TickCount());
    if (left <= 0) return true;
    // At least a microsecond, so that a clock coarser than its ticks does
    // not turn the last stretch into a spin without a system call.
    const std::chrono::microseconds wait = RealTimeOf(static_cast<std::uint32_t>(left));
    if (!WaitRealTime(std::max(wait, std::chrono::microseconds(1)))) return false;
  }
}

bool WaitRealTime(std::chrono::microseconds duration) {
#ifndef _WIN32
  const int fd = g_wakeFd.load();
  if (fd >= 0) {
    pollfd wake{fd, POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + duration;
    for (;;) {
      // Polled at least once, so that a wait of nothing still tells whether
      // the descriptor is readable.
      const auto left = std::max(std::chrono::nanoseconds(0),
                                 std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     until - std::chrono::steady_clock::now()));
      const timespec timeout{static_cast<time_t>(left.count() / 1000000000),
                             static_cast<long>(left.count() % 1000000000)};
      const int ready = ppoll(&wake, 1, &timeout, nullptr);
      if (ready > 0) return false;
      if (ready == 0) return true;
      // Interrupted by a signal the program handles: the handler wrote to
      // the descriptor if the wait is to end; otherwise wait on.
    }
  }
#endif
  if (duration.count() > 0) std::this_thread::sleep_for(duration);
  return true;
}

void SetWakeDescriptor(int fd) {
  g_wakeFd.store(fd);
}

Clock& SteadyClock() {
  static RealClock clock;
  return clock;
}

void InstallClock(Clock* clock) {
  g_clock.store(clock);
}

Clock& CurrentClock() {
  Clock* clock = g_clock.load();
  return clock ? *clock : SteadyClock();
}

}  // namespace qtr5
