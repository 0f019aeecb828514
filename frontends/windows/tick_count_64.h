// A 64-bit millisecond tick count on systems whose kernel32 lacks
// GetTickCount64 (Windows XP).
#pragma once

#include <cstdint>

// Extends successive 32-bit tick counts past their wrap (every 49.7 days).
// `now` must be read at least once per wrap, which the thread runtime's
// waits do.
class TickExtender {
 public:
  std::uint64_t Extend(std::uint32_t now) {
    if (now < last_) high_ += std::uint64_t{1} << 32;
    last_ = now;
    return high_ | now;
  }

 private:
  std::uint32_t last_ = 0;
  std::uint64_t high_ = 0;
};
