#include <windows.h>

#include "system/system_time.h"

namespace qtr5 {

std::uint32_t TickCount() {
  return GetTickCount();
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

void KeepSystemAwake(bool keep) {
  SetThreadExecutionState(keep ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

}  // namespace qtr5
