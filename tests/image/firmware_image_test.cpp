// The one read of an image file: what it returns for each kind of file.
#include <gtest/gtest.h>

#include <tuple>

#include "image/firmware_image.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"

TEST(FirmwareImageTest, ReadsAndJudgesEachKindOfFile) {
  TempDir dir;
  // Failure, checksum, data bytes, no data, every byte 0xFF, warned of few bytes, and the
  // start of the file's SHA-256 when built, else of what the problem says.
  using Found = std::tuple<int, int, std::size_t, bool, bool, bool, std::string>;
  const std::pair<std::string, Found> cases[] = {
      {dir.Write("b.hex", HexFile(0x10, {0x42, 0x43})), {0, 0xFE87, 2, 0, 0, 1, "3319398c"}},
      {dir.Write("a.hex", HexFile(0, {0xFF, 0xFF})), {0, 0, 2, 0, 1, 1, "dbfd7674"}},
      {dir.Write("n.hex", kEofRecord), {0, 0, 0, 1, 1, 0, "8ff38045"}},
      {dir.Write("d.hex", ":00000001FE"), {15, 0, 0, 0, 0, 0, "its chec"}},
      {std::string(kImagePathSize, 'x'), {4, 0, 0, 0, 0, 0, "the name"}},
  };
  for (const auto& [path, found] : cases) {
    const FirmwareImage i = ReadFirmwareImage(path.c_str(), true);
    const std::string said = (i.built ? i.sha256 : i.problem.what).substr(0, 8);
    EXPECT_EQ(Found(i.failure, i.checksum, i.dataBytes, i.noData, i.allFF,
                    !i.fewBytesWarning.empty(), said),
              found)
        << path;
  }
}
