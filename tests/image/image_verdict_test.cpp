// The image's verdict: the status, the reason and the warnings every front end shows.
#include <gtest/gtest.h>

#include "image/hex_loader.h"
#include "image/image_verdict.h"

namespace {

FirmwareImage Built(std::size_t dataBytes, bool allFF = false) {
  FirmwareImage image;
  image.built = true;
  image.checksum = allFF ? 0 : 0x1234;
  image.dataBytes = dataBytes;
  image.noData = dataBytes == 0;
  image.allFF = allFF;
  image.sha256 = "ab12";
  return image;
}

FirmwareImage NotBuilt(ResultCode failure, HexLoadProblem problem) {
  FirmwareImage image;
  image.failure = failure;
  image.problem = std::move(problem);
  return image;
}

TEST(ImageVerdictTest, JudgesEachKindOfImage) {
  const std::string allFF =
      "f.hex holds no firmware (every byte of its image is 0xFF): "
      "downloading it would erase the drive's firmware";
  const std::string few = FewDataBytesWarning("f.hex", 2);
  using Warnings = std::vector<std::pair<std::string, bool>>;  // text, must be confirmed
  const struct {
    FirmwareImage image;
    ImagePins pins;
    ImageVerdictKind kind;
    std::string status, reason;
    Warnings warnings;
  } cases[] = {
      {NotBuilt(15, {3, "what"}),
       {"00", true, 1},
       ImageVerdictKind::kNotBuilt,
       "HEX file is damaged!",
       "f.hex, line 3: what",
       {}},
      {NotBuilt(4, {0, "gone"}),
       {},
       ImageVerdictKind::kNotBuilt,
       "Can NOT open HEX file...",
       "f.hex: gone",
       {}},
      {Built(0, true),
       {"00", true, 1},
       ImageVerdictKind::kNoData,
       "HEX file holds no firmware data!",
       "",
       {}},
      {Built(kFewDataBytes),
       {"ab12", true, 0x1234},
       ImageVerdictKind::kGood,
       "Reading is success!",
       "",
       {}},
      {Built(kFewDataBytes),
       {"cd34", true, 0xAB},
       ImageVerdictKind::kNotExpected,
       "Not the expected image: nothing sent",
       "f.hex is not the expected image: its SHA-256 is ab12, not the expected cd34; its "
       "checksum is 1234, not the expected 00AB.",
       {}},
      {Built(2),
       {"", true, 0x1234},
       ImageVerdictKind::kGood,
       "Reading is success!",
       "",
       {{few, false}}},
      {Built(2, true),
       {"", true, 0},
       ImageVerdictKind::kGood,
       "Reading is success!",
       "",
       {{allFF, true}, {few, false}}},
      {Built(kFewDataBytes, true),
       {"ab12"},
       ImageVerdictKind::kGood,
       "Reading is success!",
       "",
       {{allFF, false}}},
  };
  for (const auto& c : cases) {
    const ImageVerdict verdict = JudgeImage(c.image, "f.hex", c.pins);
    Warnings warnings;
    for (const ImageWarning& w : verdict.warnings) warnings.emplace_back(w.text, w.mustConfirm);
    EXPECT_EQ(verdict.kind, c.kind) << c.status;
    EXPECT_EQ(verdict.status, c.status);
    EXPECT_EQ(verdict.reason, c.reason);
    EXPECT_EQ(warnings, c.warnings) << c.status;
  }
}

}  // namespace
