// The 16-bit byte sum of a firmware image.
#pragma once

#include <cstdint>

// Sum of all 65536 bytes at `image`, each taken as 0..255, modulo 65536.
std::uint16_t ImageChecksum(const std::uint8_t* image);
