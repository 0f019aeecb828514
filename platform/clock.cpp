// The time source behind GetTickCount and Sleep.
#include "platform/clock.h"

#include <chrono>
#include <thread>

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
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

std::atomic<Clock*> g_clock{nullptr};

}  // namespace

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

std::uint32_t FakeClock::TickCount() {
  tickReadings_.fetch_add(1);
  return now_.fetch_add(autoAdvance_.load());
}

void FakeClock::Sleep(std::uint32_t milliseconds) {
  sleepCount_.fetch_add(1);
  totalSlept_.fetch_add(milliseconds);
  lastSleep_.store(milliseconds);
  now_.fetch_add(milliseconds);
}

ScopedClock::ScopedClock(Clock& clock) : previous_(g_clock.load()) {
  InstallClock(&clock);
}
ScopedClock::~ScopedClock() {
  InstallClock(previous_);
}

}  // namespace qtr5
