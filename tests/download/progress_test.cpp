// The progress display after the download command: 4000 ms of tick count,
// the busy picture once more than 500 ms have passed, every reading a new
// one, and wrap-safe tick arithmetic.
#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"

namespace {

class ProgressTest : public AppTest {
 protected:
  void SetUp() override {
    WriteFile("image.hex", HexFile(0, {0xFF}));
    AddDrive(0, 0);
    Start();
    SetDlgItemTextA(Main(), kIdFileName, "image.hex");
  }
  // Runs the download with every tick reading advancing the clock by `step`
  // and returns the progress values and pictures it showed.
  void Download(std::uint32_t startTick, std::uint32_t step) {
    g_pictureToggle = 0;
    clock_.Set(startTick);
    const std::size_t progress = driver_.ProgressHistory(Main(), kIdProgress).size();
    const std::size_t pictures = driver_.PictureHistory(Main(), kIdPicture).size();
    clock_.SetAutoAdvance(step);
    ASSERT_EQ(app_->DownloadFirmware(), 1);
    clock_.SetAutoAdvance(0);
    const auto allProgress = driver_.ProgressHistory(Main(), kIdProgress);
    const auto allPictures = driver_.PictureHistory(Main(), kIdPicture);
    shown_.assign(allProgress.begin() + static_cast<long>(progress), allProgress.end());
    pictures_.assign(allPictures.begin() + static_cast<long>(pictures), allPictures.end());
  }
  std::vector<int> shown_;
  std::vector<int> pictures_;
};

TEST_F(ProgressTest, ExactlyFiveHundredDoesNotChangeThePicture) {
  // Readings 250 ms apart: the picture test sees 250, 750, 500, 1000, 500,
  // 1000, 500 since the last change, so it changes three times.
  Download(100000, 250);
  EXPECT_EQ(shown_, (std::vector<int>{0, 12, 31, 43, 62, 75, 93}));
  EXPECT_EQ(pictures_, (std::vector<int>{kBitmapWait, kBitmapLogo, kBitmapWait}));
}

TEST_F(ProgressTest, FirstChangeComesOnlyAfterMoreThanFiveHundred) {
  Download(5000, 500);
  EXPECT_EQ(shown_, (std::vector<int>{0, 25, 62}));
  EXPECT_EQ(pictures_, (std::vector<int>{kBitmapWait, kBitmapLogo}));
}

TEST_F(ProgressTest, TickCounterThatWrapsNeitherEndsNorLengthensTheDisplay) {
  Download(0xFFFFFFFFu - 1000, 250);
  EXPECT_EQ(shown_, (std::vector<int>{0, 12, 31, 43, 62, 75, 93}));
  EXPECT_EQ(pictures_, (std::vector<int>{kBitmapWait, kBitmapLogo, kBitmapWait}));
}

TEST_F(ProgressTest, EveryPassShowsProgressStartingAtZeroAndNeverReachingHundred) {
  Download(42, 1);
  ASSERT_FALSE(shown_.empty());
  EXPECT_EQ(shown_.front(), 0);
  EXPECT_EQ(*std::max_element(shown_.begin(), shown_.end()), 99);
  EXPECT_TRUE(std::is_sorted(shown_.begin(), shown_.end()));
  // Repeated values are set again on every pass: far more calls than values.
  EXPECT_GT(shown_.size(), 1000u);
  // About one change every 500 ms over 4000 ms.
  EXPECT_GE(pictures_.size(), 7u);
  EXPECT_LE(pictures_.size(), 8u);
  EXPECT_EQ(driver_.Text(Main(), kIdProgress), "99%");
}

}  // namespace
