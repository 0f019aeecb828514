// The drive behind the kernel's target layer sees only bytes 0-9 of the
// download command, so it judges the sum of the data bytes against the
// command's checksum less what image bytes 0 and 1 can add.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "drive_model.h"

namespace {

struct Download {
  std::vector<std::uint8_t> cdb;
  std::vector<std::uint8_t> data;
};

// An image whose bytes 0 and 1 are 0: the sum leaves no room below it.
Download MakeDownload() {
  std::vector<std::uint8_t> image(65536, 0xFF);
  for (std::size_t i = 2; i < 0xFF00; ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  image[0] = image[1] = 0;
  image[0xFEF0] = '2', image[0xFEF1] = '.', image[0xFEF2] = '0', image[0xFEF3] = '1';
  std::uint16_t sum = 0;
  for (std::uint8_t byte : image) sum = static_cast<std::uint16_t>(sum + byte);
  Download download;
  download.cdb = {
      0x55, 0,    0,   0x77, 0, static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum),
      0xFF, 0xFE, 0x02};
  download.data.assign(image.begin() + 2, image.end());
  download.data.push_back(image[65534]);
  return download;
}

void AddToChecksum(Download& d, int amount) {
  const auto sum = static_cast<std::uint16_t>(((d.cdb[5] << 8) | d.cdb[6]) + amount);
  d.cdb[5] = static_cast<std::uint8_t>(sum >> 8);
  d.cdb[6] = static_cast<std::uint8_t>(sum);
}

std::vector<std::uint8_t> SenseOf(const DriveReply& reply) {
  if (reply.sense.size() < 14) return {};
  return {reply.sense[2], reply.sense[12], reply.sense[13]};
}

TEST(VmUserDrive, RefusesADownloadWhoseDataDoNotMatchItsChecksum) {
  DriveModel drive(DriveOptions{});
  const auto send = [&](Download d) {
    return drive.Execute(d.cdb.data(), d.data.data(), d.data.size(), 0);
  };
  Download d = MakeDownload();
  d.data[100] += 1;  // one bit more than the checksum allows
  EXPECT_EQ(SenseOf(send(d)), (std::vector<std::uint8_t>{5, 0x26, 0}));
  d = MakeDownload();
  AddToChecksum(d, 511);  // more than bytes 0 and 1 could add
  EXPECT_EQ(SenseOf(send(d)), (std::vector<std::uint8_t>{5, 0x26, 0}));
  d = MakeDownload();
  d.data.pop_back();
  EXPECT_EQ(SenseOf(send(d)), (std::vector<std::uint8_t>{5, 0x1A, 0}));
  d = MakeDownload();
  d.cdb[9] = 0x01;
  EXPECT_EQ(SenseOf(send(d)), (std::vector<std::uint8_t>{5, 0x24, 0}));
  EXPECT_EQ(drive.Revision(), "1.00");
}

TEST(VmUserDrive, TakesAMatchingDownloadThenIsBusyThenReportsTheImagesRevision) {
  DriveOptions options;
  options.busyMs = 500;
  DriveModel drive(options);
  Download d = MakeDownload();
  AddToChecksum(d, 510);  // image bytes 0 and 1 may add up to 510
  EXPECT_TRUE(drive.Execute(d.cdb.data(), d.data.data(), d.data.size(), 1000).downloadTaken);
  const std::uint8_t inquiry[10] = {0x12, 0, 0, 0, 36};
  std::vector<std::uint8_t> room(36);
  EXPECT_EQ(SenseOf(drive.Execute(inquiry, room.data(), room.size(), 1499)),
            (std::vector<std::uint8_t>{2, 0x04, 0x07}));
  const DriveReply answer = drive.Execute(inquiry, room.data(), room.size(), 1500);
  ASSERT_EQ(answer.dataIn.size(), 36u);
  EXPECT_EQ(std::string(answer.dataIn.begin() + 8, answer.dataIn.end()),
            "QTR5    CD-ROM XPM-3177K2.01");
}

}  // namespace
