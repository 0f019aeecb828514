// How long one drive command may take before it counts as failed. The
// transports give the command this timeout; AspiDevice::ExecuteWait stops
// waiting a grace period after it, so that no command can keep the program
// waiting forever.
//
// The reprogramming window. From the download command until the check after
// it has ended, the drive may be rewriting its firmware, and a command that
// times out there is the most dangerous thing the program could cause: on a
// real ATAPI drive behind libata the kernel's error handler answers a timeout
// by resetting the link, and a Windows port driver resets the bus; a reset in
// the middle of the rewrite can leave the drive without firmware. So the
// window has one deadline, the download command's own limit (5 minutes)
// counted from the end of the download command, and every command sent in
// the window gets a limit that reaches exactly to that deadline: the timeout
// handed to the system (SG_IO, the pass-through TimeOutValue) and the
// program's own wait (the limit plus the grace) both end there, so nothing
// aborts or resets the drive before it. The program itself never aborts a
// command in the window and never resets a drive at all. A command the drive
// still holds when the run ends (a second signal ends the program at once)
// is left to the system, which finishes it or times it out at the deadline
// it was given and drops the answer; nothing more is sent to that drive.
#pragma once

#include <chrono>
#include <cstdint>

// The window's length, from the end of the download command to its
// deadline: the download command's own limit.
inline constexpr std::chrono::minutes kReprogrammingWindowLength{5};

// The timeout a transport gives the command whose block starts at `cdb`:
// seconds for INQUIRY and the tray, minutes for the download command; in
// the reprogramming window, once its deadline is fixed, the time left until
// that deadline for every command.
std::chrono::milliseconds CommandTimeLimit(const std::uint8_t* cdb);

// Extra time ExecuteWait allows beyond CommandTimeLimit before it gives up,
// so that a transport's own timeout is reported first.
std::chrono::milliseconds CommandWaitGrace();

// Opens the window, right before the download command is sent; its
// deadline is not fixed yet, so the download command keeps its own limit.
void OpenReprogrammingWindow();
// Fixes the deadline once the download command has ended: its own limit
// from now.
void FixReprogrammingDeadline();
// Ends the window (the check after the download is over, or the download
// command failed before reaching the drive).
void CloseReprogrammingWindow();
bool InReprogrammingWindow();
// The deadline is fixed and has passed: no command may be sent any more in
// the window.
bool ReprogrammingDeadlinePassed();

// Tests shrink every limit: while an override is in force, every command's
// limit is `limit` and the grace period is zero.
class ScopedCommandTimeLimitOverride {
 public:
  explicit ScopedCommandTimeLimitOverride(std::chrono::milliseconds limit);
  ~ScopedCommandTimeLimitOverride();
  ScopedCommandTimeLimitOverride(const ScopedCommandTimeLimitOverride&) = delete;
  ScopedCommandTimeLimitOverride& operator=(const ScopedCommandTimeLimitOverride&) = delete;

 private:
  bool hadPrevious_;
  std::chrono::milliseconds previous_;
};
