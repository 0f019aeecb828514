// Shorter timed waits for the tests of the whole program: QTR5_TIME_SCALE=N
// makes the tick counter run N times faster and every Sleep N times shorter,
// for the program and the emulated drives alike. Emulated and replayed
// drives only: a real drive needs its real time to reprogram itself.
#pragma once

#include <optional>
#include <string>

class EmulatedBus;

// Reads the variable: nothing when it is unset; a value of 1 to 1000, or an
// error message for anything else.
std::optional<unsigned> TimeScaleFromEnvironment(std::string& error);

// Installs the scaled clock for the rest of the run, puts the emulated
// drives (when `bus` is not null) on the same time, and shortens the time
// the program waits for a command that never completes.
void InstallTimeScale(unsigned factor, EmulatedBus* bus);
