#include "program/program_front_end.h"

#include "winui/winapi.h"

int ProgramFrontEnd::ShowCommand() const {
  return SW_SHOWNORMAL;
}
