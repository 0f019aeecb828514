// The operation code of the drive's vendor download command, which carries
// the whole firmware image. The program builds it, the transports claim the
// drive from it on and give it the longest time limit, and the emulated and
// user-space drives answer it. Header-only and free of other includes, so
// that the standalone user-space drive of the machine tests can use it too.
#pragma once

#include <cstdint>

namespace aspi {
inline constexpr std::uint8_t kDownloadOpcode = 0x55;
}  // namespace aspi
