#include "image/firmware_image.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "image/image_checksum.h"

FirmwareImage ReadFirmwareImage(const char* path, bool wantSha256) {
  FirmwareImage image;
  if (path != nullptr && std::strlen(path) > static_cast<std::size_t>(kMaxImagePathLength)) {
    g_resultCode = kResultCannotOpen;
    image.failure = kResultCannotOpen;
    image.problem.what = "the name is longer than the " + std::to_string(kMaxImagePathLength) +
                         " characters an image name may have";
    return image;
  }
  std::vector<std::uint8_t> bytes(kFirmwareImageSize, 0xFF);
  if (!LoadHexImage(path, bytes.data(), image.dataBytes, &image.problem,
                    wantSha256 ? &image.sha256 : nullptr)) {
    image.failure = g_resultCode < kResultCodeCount ? g_resultCode : kResultCannotOpen;
    return image;
  }
  image.built = true;
  image.checksum = ImageChecksum(bytes.data());
  image.noData = image.dataBytes == 0;
  image.allFF = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
  image.fewBytesWarning = FewDataBytesWarning(path, image.dataBytes);
  image.bytes = std::move(bytes);
  return image;
}
