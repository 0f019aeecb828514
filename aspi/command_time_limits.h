// How long one drive command may take before it counts as failed. The
// transports give the command this timeout; AspiDevice::ExecuteWait stops
// waiting a grace period after it and aborts the command, so that no command
// can keep the program waiting forever.
#pragma once

#include <chrono>
#include <cstdint>

// The timeout a transport gives the command whose block starts at `cdb`:
// seconds for INQUIRY and the tray, minutes for the download command.
std::chrono::milliseconds CommandTimeLimit(const std::uint8_t* cdb);

// Extra time ExecuteWait allows beyond CommandTimeLimit before it gives up,
// so that a transport's own timeout is reported first.
std::chrono::milliseconds CommandWaitGrace();

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
