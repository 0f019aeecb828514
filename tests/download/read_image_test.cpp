// ReadImageFile: the name from the file name box, the loader's messages and
// the "Check Sum" row.
#include <gtest/gtest.h>

#include <filesystem>

#include "image/result_codes.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"

namespace {

class ReadImageTest : public AppTest {
 protected:
  void SetUp() override {
    AddDrive(0, 0);
    Start();
  }
  void Name(const std::string& name) { SetDlgItemTextA(Main(), kIdFileName, name.c_str()); }
};

struct ChecksumCase {
  const char* name;
  std::uint16_t address;
  std::vector<std::uint8_t> bytes;
  const char* shown;
};

class ChecksumTest : public ReadImageTest, public ::testing::WithParamInterface<ChecksumCase> {};

TEST_P(ChecksumTest, RowShowsTheSixteenBitSum) {
  WriteFile("image.hex", HexFile(GetParam().address, GetParam().bytes));
  Name("image.hex");
  EXPECT_EQ(app_->ReadImageFile(), 1);
  EXPECT_EQ(Row(1), GetParam().shown);
  EXPECT_EQ(Status(), "Reading is success!");
  const auto history = StatusHistory();
  ASSERT_GE(history.size(), 2u);
  EXPECT_EQ(history[history.size() - 2], "Reading File...");
}

INSTANTIATE_TEST_SUITE_P(
    Images, ChecksumTest,
    ::testing::Values(ChecksumCase{"OneFFByte", 0, {0xFF}, "0000"},
                      ChecksumCase{"OneAtZero", 0, {0x01}, "FF02"},
                      ChecksumCase{"AllLoadableZero", 0, std::vector<std::uint8_t>(0xFF00, 0),
                                   "FF00"},
                      ChecksumCase{"RevisionText", 0xFEF0, {'1', '.', '1', '0'}, "FCC4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadImageTest, EmptyBoxClearsTheStatusAndReadsNothing) {
  WriteFile("image.hex", HexFile(0, {0x01}));
  Name("image.hex");
  ASSERT_EQ(app_->ReadImageFile(), 1);
  const std::uint16_t sum = app_->imageChecksum;
  Name("");
  EXPECT_EQ(app_->ReadImageFile(), 0);
  EXPECT_EQ(Status(), "");
  // Changing the name took the previous image's checksum off the row; the
  // read that failed wrote none there.
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(app_->imageChecksum, sum);
}

struct FailureCase {
  const char* name;
  const char* content;  // nullptr: no file
  const char* message;
};

class ReadFailureTest : public ReadImageTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ReadFailureTest, ShowsTheLoaderMessageAndKeepsTheEarlierChecksum) {
  WriteFile("good.hex", HexFile(0, {0x01}));
  Name("good.hex");
  ASSERT_EQ(app_->ReadImageFile(), 1);
  if (GetParam().content != nullptr) WriteFile("bad.hex", GetParam().content);
  Name("bad.hex");
  EXPECT_EQ(app_->ReadImageFile(), 0);
  EXPECT_EQ(Status(), GetParam().message);
  EXPECT_EQ(Row(1), "");  // cleared by the new name, not refilled by the failed read
  EXPECT_EQ(app_->imageChecksum, 0xFF02);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ReadFailureTest,
    ::testing::Values(FailureCase{"Missing", nullptr, "Can NOT open HEX file..."},
                      FailureCase{"BadChecksum", ":0100000001FF\n", "HEX file is damaged!"},
                      FailureCase{"AddressOverflow", ":01FF0000AA56\n",
                                  "HEX file is damaged! (Address overflow)"},
                      FailureCase{"OnlyEndRecord", ":00000001FF\n", kTextNoFirmwareData},
                      FailureCase{"EmptyDataRecord", ":0000000000\n:00000001FF\n",
                                  kTextNoFirmwareData}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReadImageTest, NameLongerThan259CharactersIsRefused) {
  // A relative path of exactly 259 characters names the file. Cut to those 259
  // characters a longer name in the box would name that other file, and its
  // image would be flashed: the longer name is refused instead.
  const std::string first(100, 'd'), second(100, 'e');
  std::filesystem::create_directories(first + "/" + second);
  const std::string path = first + "/" + second + "/" + std::string(57, 'f');
  ASSERT_EQ(path.size(), 259u);
  WriteFile(path, HexFile(0, {0x01}));
  WriteFile(path + "-more", HexFile(0, {0x02}));
  Name(path);
  ASSERT_EQ(app_->ReadImageFile(), 1);
  EXPECT_EQ(Row(1), "FF02");

  Name(path + "-more");
  EXPECT_EQ(app_->ReadImageFile(), 0);
  EXPECT_EQ(Status(), "Can NOT open HEX file...");
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(app_->imageChecksum, 0xFF02);
}

}  // namespace
