// The time source of GetTickCount and Sleep, and the fake clock tests use.
#include "system/clock.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"
#include "winui/win32.h"

namespace qtr5 {
namespace {

TEST(FakeClock, AutoAdvancesAfterEachReadingAndSleepsWithoutBlocking) {
  FakeClock clock(100, 5);
  EXPECT_EQ(clock.TickCount(), 100u);
  EXPECT_EQ(clock.TickCount(), 105u);
  EXPECT_EQ(clock.Now(), 110u) << "Now() reads without advancing";
  EXPECT_EQ(clock.Now(), 110u);
  clock.Sleep(2000);
  clock.Sleep(0);
  EXPECT_EQ(clock.Now(), 2110u);
  EXPECT_EQ(clock.SleepCount(), 2);
  EXPECT_EQ(clock.TotalSlept(), 2000u);
  EXPECT_EQ(clock.LastSleep(), 0u);
  EXPECT_EQ(clock.TickReadings(), 2);
  clock.SetAutoAdvance(0);
  EXPECT_EQ(clock.TickCount(), 2110u);
  EXPECT_EQ(clock.TickCount(), 2110u);
}

TEST(FakeClock, WrapsAroundLikeTheTickCounter) {
  FakeClock clock;
  clock.Set(0xFFFFFF00u);
  std::uint32_t start = clock.TickCount();
  clock.Advance(0x180);
  std::uint32_t now = clock.TickCount();
  EXPECT_EQ(now, 0x80u);
  EXPECT_EQ(static_cast<std::uint32_t>(now - start), 0x180u)
      << "unsigned differences survive the wrap";
  clock.Sleep(0x100);
  EXPECT_EQ(clock.Now(), 0x180u);
}

TEST(Clock, GetTickCountAndSleepUseTheInstalledClock) {
  EXPECT_EQ(&CurrentClock(), &SteadyClock());
  FakeClock outer(1000);
  {
    ScopedClock useOuter(outer);
    EXPECT_EQ(GetTickCount(), 1000u);
    Sleep(250);
    EXPECT_EQ(GetTickCount(), 1250u);
    EXPECT_EQ(outer.SleepCount(), 1);
    FakeClock inner(7);
    {
      ScopedClock useInner(inner);
      EXPECT_EQ(GetTickCount(), 7u);
      Sleep(1);
    }
    EXPECT_EQ(&CurrentClock(), &outer);
    EXPECT_EQ(outer.SleepCount(), 1) << "the inner clock took that sleep";
  }
  EXPECT_EQ(&CurrentClock(), &SteadyClock());
  InstallClock(&outer);
  InstallClock(nullptr);
  EXPECT_EQ(&CurrentClock(), &SteadyClock());
}

}  // namespace
}  // namespace qtr5
