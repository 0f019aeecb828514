// The image's verdict: the status, the reason and the warnings every front end shows.
#include <gtest/gtest.h>

#include <tuple>

#include "image/hex_loader.h"
#include "image/image_verdict.h"

namespace {

// Kind, status and reason, then each warning ('!' before one that must be confirmed).
std::string Said(const ImageVerdict& v) {
  std::string said = std::to_string(static_cast<int>(v.kind)) + " " + v.status + " | " + v.reason;
  for (const ImageWarning& w : v.warnings) said += (w.mustConfirm ? " | !" : " | ") + w.text;
  return said;
}

TEST(ImageVerdictTest, JudgesEachKindOfImage) {
  // Built, failure, problem, bytes, checksum, data bytes, no data, all 0xFF, words, SHA-256.
  const auto built = [](std::size_t n, bool allFF) {
    return FirmwareImage{true, 0, {}, {}, 0x1234, n, n == 0, allFF, "", "ab"};
  };
  const FirmwareImage damaged{false, kResultDamaged, {3, "what"}, {}, 0, 0, false, false, "", ""};
  const std::string good = "0 Reading is success! | ", few = FewDataBytesWarning("f", 2),
                    ff = "f holds no firmware (every byte of its image is 0xFF): downloading it "
                         "would erase the drive's firmware";
  const std::tuple<FirmwareImage, ImagePins, std::string> cases[] = {
      {damaged, {"x"}, "1 HEX file is damaged! | f, line 3: what"},
      {built(0, true), {"x"}, "2 HEX file holds no firmware data! | "},
      {built(kFewDataBytes, false), {"ab", true, 0x1234}, good},
      {built(kFewDataBytes, false),
       {"cd", true, 0xAB},
       "3 Not the expected image: nothing sent | f is not the expected image: its SHA-256 is ab, "
       "not the expected cd; its checksum is 1234, not the expected 00AB."},
      {built(2, true), {"", true, 0x1234}, good + " | !" + ff + " | " + few},
      {built(kFewDataBytes, true), {"ab"}, good + " | " + ff},
  };
  for (const auto& [image, pins, said] : cases) EXPECT_EQ(Said(JudgeImage(image, "f", pins)), said);
}

}  // namespace
