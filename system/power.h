// Off Windows, SetExecutionState (and the window layer's
// SetThreadExecutionState through it) keeps the machine from sleeping or
// shutting down on request while kExecutionContinuous |
// kExecutionSystemRequired stands, with a logind inhibitor lock: the lock is held by a child
// process, "systemd-inhibit --what=sleep:shutdown --mode=block ... cat", whose standard input is a
// pipe only this program writes to. Closing the pipe (kExecutionContinuous alone, or the end of the
// program however it ends, even by SIGKILL) ends the child and with it the lock. The tool is only
// taken from fixed absolute paths, never looked up in PATH (the program may run as root). Where the
// tool or logind is missing nothing is held and the program goes on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qtr5 {

// The flags of SetExecutionState, with the values Windows gives them.
inline constexpr std::uint32_t kExecutionSystemRequired = 0x00000001;
inline constexpr std::uint32_t kExecutionContinuous = 0x80000000;

// SetThreadExecutionState's contract: with kExecutionContinuous, holds the
// lock while kExecutionSystemRequired stands and releases it otherwise;
// without it, changes nothing. Returns the previous state.
std::uint32_t SetExecutionState(std::uint32_t flags);

// The paths where the inhibitor tool is looked for, in order (tests give a
// stand-in); the first that is executable is taken.
void SetInhibitorTools(std::vector<std::string> paths);

}  // namespace qtr5
