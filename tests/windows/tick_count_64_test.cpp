// The 64-bit tick count the program supplies where Windows has none, and
// the slot the thread runtime calls through.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

#include "frontends/windows/tick_count_64.h"

// The import slot the thread runtime calls (the program defines it).
extern "C" {
#if defined(__i386__)
extern ULONGLONG(WINAPI* qtr5_test_tick_slot)() __asm__("__imp__GetTickCount64@0");
#else
extern ULONGLONG(WINAPI* qtr5_test_tick_slot)() __asm__("__imp_GetTickCount64");
#endif
}

namespace {

TEST(TickExtender, CountsOnAcrossEachWrapOfTheThirtyTwoBitTicks) {
  TickExtender ticks;
  const std::uint64_t wrap = std::uint64_t{1} << 32;
  const std::vector<std::pair<std::uint32_t, std::uint64_t>> steps{
      {1000, 1000},  {1000, 1000},  {0xFFFFFFF0u, 0xFFFFFFF0u},
      {5, wrap + 5}, {6, wrap + 6}, {0xFFFFFFFFu, wrap + 0xFFFFFFFFu},
      {0, 2 * wrap}};
  for (const auto& [now, expected] : steps) EXPECT_EQ(ticks.Extend(now), expected) << now;
}

TEST(TickCount64, TheProgramsSlotAnswersWithTheSystemsClock) {
  const ULONGLONG before = qtr5_test_tick_slot();
  // A loaded machine (Wine under a parallel build) may wake a sleep early or
  // advance the tick coarsely: the clock must move, whatever one sleep did.
  ULONGLONG after = before;
  for (int i = 0; i < 50 && after - before < 15; ++i) {
    Sleep(20);
    after = qtr5_test_tick_slot();
  }
  EXPECT_GE(after - before, 15u);
  EXPECT_LT(after - before, 5000u);
}

}  // namespace
