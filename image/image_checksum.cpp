#include "image/image_checksum.h"

#include "image/hex_loader.h"

std::uint16_t ImageChecksum(const std::uint8_t* image) {
  // 65536 * 255 fits in 32 bits, so the sum is reduced once at the end.
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < kFirmwareImageSize; ++i) sum += image[i];
  return static_cast<std::uint16_t>(sum);
}
