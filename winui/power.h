// Off Windows, SetThreadExecutionState (winui/win32.h) keeps the machine from
// sleeping or shutting down on request while ES_CONTINUOUS | ES_SYSTEM_REQUIRED
// stands, with a logind inhibitor lock: the lock is held by a child process,
// "systemd-inhibit --what=sleep:shutdown --mode=block ... cat", whose
// standard input is a pipe only this program writes to. Closing the pipe
// (ES_CONTINUOUS alone, or the end of the program however it ends, even by
// SIGKILL) ends the child and with it the lock. The tool is only taken from
// fixed absolute paths, never looked up in PATH (the program may run as
// root). Where the tool or logind is missing nothing is held and the
// program goes on.
#pragma once

#include <string>
#include <vector>

namespace qtr5 {

// The paths where the inhibitor tool is looked for, in order (tests give a
// stand-in); the first that is executable is taken.
void SetInhibitorTools(std::vector<std::string> paths);

}  // namespace qtr5
