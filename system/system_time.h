// The machine's clock and power requests as the flow needs them, with no
// window vocabulary: the tick counter (milliseconds, wrapping at 2^32), a
// plain sleep, and the request that keeps the machine from sleeping or
// shutting down while the drive rewrites its firmware. On Windows these are
// the system's own calls; elsewhere the installed clock (clock.h) and the
// logind inhibitor (power.h).
#pragma once

#include <cstdint>

namespace qtr5 {

std::uint32_t TickCount();
void SleepMilliseconds(std::uint32_t milliseconds);
// True: the machine must not sleep or shut down until it is called with
// false (or the program ends).
void KeepSystemAwake(bool keep);

}  // namespace qtr5
