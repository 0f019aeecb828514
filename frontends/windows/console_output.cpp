#include "frontends/windows/console_output.h"

#include <windows.h>

#include <cstdio>

namespace {

bool LeadsSomewhere(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

bool ConnectStandardOutput() {
  const bool outputReady = LeadsSomewhere(STD_OUTPUT_HANDLE);
  const bool errorReady = LeadsSomewhere(STD_ERROR_HANDLE);
  if (outputReady && errorReady) return true;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return outputReady;
  // The C runtime set up its streams before there was a console; they are
  // pointed at it now, leaving a redirected stream where it was.
  if (!outputReady && std::freopen("CONOUT$", "w", stdout) == nullptr) return false;
  if (!errorReady) std::freopen("CONOUT$", "w", stderr);
  return true;
}
