#include "system/clock.h"
#include "system/power.h"
#include "system/system_time.h"

namespace qtr5 {

std::uint32_t TickCount() {
  return CurrentClock().TickCount();
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  CurrentClock().Sleep(milliseconds);
}

void KeepSystemAwake(bool keep) {
  SetExecutionState(keep ? kExecutionContinuous | kExecutionSystemRequired : kExecutionContinuous);
}

}  // namespace qtr5
