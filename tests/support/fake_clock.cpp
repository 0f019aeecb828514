#include "tests/support/fake_clock.h"

namespace qtr5 {

std::uint32_t FakeClock::TickCount() {
  tickReadings_.fetch_add(1);
  return now_.fetch_add(autoAdvance_.load());
}

bool FakeClock::WaitForTick(std::uint32_t) {
  tickWaits_.fetch_add(1);
  return WaitRealTime(std::chrono::microseconds(0));  // only a wake ends it early
}

void FakeClock::Sleep(std::uint32_t milliseconds) {
  sleepCount_.fetch_add(1);
  totalSlept_.fetch_add(milliseconds);
  lastSleep_.store(milliseconds);
  now_.fetch_add(milliseconds);
}

}  // namespace qtr5
