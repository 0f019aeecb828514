#include "image/image_check.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/atomic_file.h"
#include "image/hex_loader.h"
#include "image/image_checksum.h"
#include "image/result_codes.h"

namespace {
// The drive's data buffer is 4 bytes longer than the image; the loader sees the same.
constexpr std::size_t kDataBufferSize = kFirmwareImageSize + 4;
}  // namespace

ImageCheckResult RunImageCheck(const char* path, const char* saveImagePath, std::FILE* out,
                               std::FILE* err) {
  if (path == nullptr || *path == '\0') return kImageCheckUsage;

  std::vector<std::uint8_t> buffer(kDataBufferSize, 0);
  bool built = false;
  std::size_t dataBytes = 0;
  HexLoadProblem problem;
  if (std::strlen(path) > static_cast<std::size_t>(kMaxImagePathLength)) {
    g_resultCode = kResultCannotOpen;
    problem.what = "the name is longer than the " + std::to_string(kMaxImagePathLength) +
                   " characters an image name may have";
  } else {
    built = LoadHexImage(path, buffer.data(), dataBytes, &problem);
  }
  if (built) {
    std::fprintf(out, "Check Sum: %04X\n", static_cast<unsigned>(ImageChecksum(buffer.data())));
    // An image without data would never be sent: the check fails as well.
    std::fprintf(out, "%s\n", dataBytes > 0 ? "Reading is success!" : kTextNoFirmwareData);
    built = dataBytes > 0;
  } else {
    std::fprintf(out, "%s\n", ResultMessages[g_resultCode]);
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "cannot write the check result: %s\n", std::strerror(errno));
    return kImageCheckNotBuilt;
  }
  if (!built) {
    // The message above keeps its text; the line and what is wrong follow.
    if (!problem.what.empty())
      std::fprintf(err, "%s\n", DescribeHexLoadProblem(path, problem).c_str());
    return kImageCheckNotBuilt;
  }

  if (saveImagePath != nullptr) {
    std::string reason;
    if (!WriteFileAtomically(saveImagePath, buffer.data(), kFirmwareImageSize, reason)) {
      std::fprintf(err, "cannot save the image to \"%s\": %s (nothing was written)\n",
                   saveImagePath, reason.c_str());
      return kImageCheckNotBuilt;
    }
  }
  return kImageCheckBuilt;
}

ImageCheckResult RunImageCheck(const char* path, const char* saveImagePath, std::FILE* out) {
  return RunImageCheck(path, saveImagePath, out, stderr);
}
