// How the outcome of one pass-through call becomes the outcome of an ASPI
// request: judged in the order the layers answer (the call itself, the host
// adapter, the mid-level driver, the target's status, its sense data), so
// that a command that did not provably complete is never taken for success.
#pragma once

#include <cstdint>
#include <string>

#include "aspi/wnaspi32.h"
#include "transports/linux/sg_system.h"

namespace sg {

struct Verdict {
  aspi::BYTE status = SS_COMP;  // SS_COMP, SS_ERR or SS_ABORTED
  aspi::BYTE haStat = HASTAT_OK;
  aspi::BYTE targStat = STATUS_GOOD;
  int senseBytes = 0;          // sense bytes that belong into SenseArea
  std::uint32_t residual = 0;  // bytes of the data phase not transferred
  bool timedOut = false;       // the command did not end within its time limit
  bool abandoned = false;      // ... and is still in the kernel: the program stopped waiting
  bool deviceLost = false;     // the device is gone (ENODEV, ENXIO)
  bool interrupted = false;    // the call was interrupted by a signal (EINTR)
  bool accessDenied = false;   // the system refused the program the device (EACCES, EPERM)
  std::string problem;         // plain words; empty for a clean completion
};

// `sense` holds the sense bytes the call reported (result.senseLength of them).
Verdict JudgePassThrough(const PassThroughResult& result, DataDirection direction,
                         std::uint32_t length, const std::uint8_t* sense);

}  // namespace sg
