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

StandardStreams ConnectStandardOutput() {
  StandardStreams ready{LeadsSomewhere(STD_OUTPUT_HANDLE), LeadsSomewhere(STD_ERROR_HANDLE)};
  if (ready.output && ready.error) return ready;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return ready;
  // The C runtime set up its streams before there was a console; they are
  // pointed at it now, leaving a redirected stream where it was.
  if (!ready.output) ready.output = std::freopen("CONOUT$", "w", stdout) != nullptr;
  if (!ready.error) ready.error = std::freopen("CONOUT$", "w", stderr) != nullptr;
  return ready;
}
