// The program's resources, made known to the window layer.
#include "resources/program_resources.h"

namespace qtr5 {

void RegisterProgramResources(HINSTANCE instance) {
#ifdef _WIN32
  (void)instance;  // linked into the program's resource section
#else
  RegisterModuleResources(instance, &ProgramResources());
#endif
}

}  // namespace qtr5
