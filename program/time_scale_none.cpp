// Where the window layer is the system's own (Windows), its tick counter
// cannot be sped up: the variable is not read and nothing is installed.
#include "program/time_scale.h"

std::optional<unsigned> TimeScaleFromEnvironment(std::string& /*error*/) {
  return std::nullopt;
}

void InstallTimeScale(unsigned /*factor*/, EmulatedBus* /*bus*/) {}
