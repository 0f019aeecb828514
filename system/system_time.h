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

// From now on the tick counter runs `factor` times faster and every sleep
// is `factor` times shorter (1: real time). For emulated and replayed drives
// only (the tests' QTR5_TIME_SCALE): a real drive needs its real time.
void SetTimeScale(unsigned factor);
// The real milliseconds that `ticks` of the tick counter take, rounded up.
std::uint32_t RealMilliseconds(std::uint32_t ticks);

// True: the machine must not sleep or shut down until it is called with
// false (or the program ends).
void KeepSystemAwake(bool keep);
// Told of every change KeepSystemAwake makes, on the thread that made it
// (the Windows program also refuses the end of the session meanwhile);
// nullptr for none.
void SetKeepAwakeObserver(void (*observer)(bool keep));

}  // namespace qtr5
