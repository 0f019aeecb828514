#include "image/image_verdict.h"

#include <cstdio>

#include "image/hex_loader.h"
#include "image/result_codes.h"

namespace {

constexpr const char* kTextReadOk = "Reading is success!";

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

// A caller that pinned the image gets that image or none: the reason names
// both values of what differs; empty when nothing does.
std::string NotExpectedReason(const FirmwareImage& image, const std::string& file,
                              const ImagePins& pins) {
  std::string differs;
  if (!pins.sha256.empty() && image.sha256 != pins.sha256)
    differs = "its SHA-256 is " + image.sha256 + ", not the expected " + pins.sha256;
  if (pins.hasChecksum && image.checksum != pins.checksum) {
    if (!differs.empty()) differs += "; ";
    differs +=
        "its checksum is " + Hex4(image.checksum) + ", not the expected " + Hex4(pins.checksum);
  }
  if (differs.empty()) return {};
  return file + " is not the expected image: " + differs + ".";
}

}  // namespace

ImageVerdict JudgeImage(const FirmwareImage& image, const std::string& file,
                        const ImagePins& pins) {
  ImageVerdict verdict;
  if (!image.built) {
    verdict.kind = ImageVerdictKind::kNotBuilt;
    verdict.status = ResultMessages[image.failure];
    if (!image.problem.what.empty()) verdict.reason = DescribeHexLoadProblem(file, image.problem);
    return verdict;
  }
  if (image.noData) {
    verdict.kind = ImageVerdictKind::kNoData;
    verdict.status = kTextNoFirmwareData;
    return verdict;
  }
  verdict.reason = NotExpectedReason(image, file, pins);
  if (!verdict.reason.empty()) {
    verdict.kind = ImageVerdictKind::kNotExpected;
    verdict.status = kTextNotExpected;
    return verdict;
  }
  verdict.kind = ImageVerdictKind::kGood;
  verdict.status = kTextReadOk;
  if (image.allFF) {
    verdict.warnings.push_back({file + " holds no firmware (every byte of its image is 0xFF): "
                                       "downloading it would erase the drive's firmware",
                                pins.sha256.empty()});
  }
  const std::string few = FewDataBytesWarning(file, image.dataBytes);
  if (!few.empty()) verdict.warnings.push_back({few, false});
  return verdict;
}
