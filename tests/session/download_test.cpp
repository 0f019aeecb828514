// The session's download step: the command and the data phase as the drive
// received them, the settle delays and the verification, and every way it
// fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>

#include "aspi/command_time_limits.h"
#include "download/download_command.h"
#include "tests/session/session_bench.h"

namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kDownload = 0x55;

class DownloadTest : public SessionTest {
 protected:
  void StartWith(DeviceOptions options, const std::string& hex = HexFile(0, {0xFF})) {
    WriteFile("image.hex", hex);
    AddDevice(0, 0, options);
    Start();
    sentAtStart_ = ScsiCommands().size();
  }
  // The download of "image.hex": 1 when confirmed, as the window's command
  // counts it.
  int Download() { return session_->Download("image.hex") == DownloadResult::kConfirmed ? 1 : 0; }
  // Commands sent since start-up.
  std::vector<LoggedCommand> Sent() const {
    const auto all = ScsiCommands();
    return {all.begin() + static_cast<long>(sentAtStart_), all.end()};
  }
  int SentWith(std::uint8_t opcode) const {
    int count = 0;
    for (const LoggedCommand& command : Sent()) count += command.Opcode() == opcode ? 1 : 0;
    return count;
  }
  std::size_t sentAtStart_ = 0;
};

TEST_F(DownloadTest, AllOnesImageGivesTheBlankCommandAndAllOnes) {
  StartWith({});
  ASSERT_EQ(Download(), 1);
  const auto sent = Sent();
  ASSERT_FALSE(sent.empty());
  const LoggedCommand& download = sent[0];
  const std::uint8_t expected[12] = {0x55, 0x00, 0x00, 0x77, 0x00, 0x00,
                                     0x00, 0xFF, 0xFE, 0x02, 0xFF, 0xFF};
  EXPECT_EQ(download.cdbLength, 12);
  EXPECT_EQ(std::memcmp(download.cdb, expected, 12), 0);
  EXPECT_EQ(download.flags, SRB_DIR_OUT);
  EXPECT_EQ(download.transferLength, 65535u);
  ASSERT_EQ(download.dataOut.size(), 65535u);
  EXPECT_EQ(std::count(download.dataOut.begin(), download.dataOut.end(), 0xFF), 65535);
  EXPECT_EQ(Row(1), "0000");
}

TEST_F(DownloadTest, ChecksumAndFirstBytesTravelInTheCommandTheRestMovedDownByTwo) {
  // Distinct bytes at the start and at the top of the loadable range.
  std::vector<std::uint8_t> low{0x12, 0x34, 0x56, 0x78, 0x9A};
  std::vector<std::uint8_t> high{0xA1, 0xA2, 0xA3};
  std::string hex = HexFile(0, low);
  hex = hex.substr(0, hex.rfind(':')) + HexFile(0xFEFD, high);
  StartWith({}, hex);
  std::vector<std::uint8_t> image(65536, 0xFF);
  std::copy(low.begin(), low.end(), image.begin());
  std::copy(high.begin(), high.end(), image.begin() + 0xFEFD);
  const unsigned sum = std::accumulate(image.begin(), image.end(), 0u) & 0xFFFF;

  ASSERT_EQ(Download(), 1);
  const auto sent = Sent();
  ASSERT_FALSE(sent.empty());
  const LoggedCommand& download = sent[0];
  EXPECT_EQ(download.cdb[5], sum >> 8);
  EXPECT_EQ(download.cdb[6], sum & 0xFF);
  EXPECT_EQ(download.cdb[10], 0x12);
  EXPECT_EQ(download.cdb[11], 0x34);
  ASSERT_EQ(download.dataOut.size(), 65535u);
  for (std::size_t k = 0; k < 65534; ++k) {
    ASSERT_EQ(download.dataOut[k], image[k + 2]) << k;
  }
  EXPECT_EQ(download.dataOut[65534], image[65534]);
  EXPECT_EQ(download.dataOut[0], 0x56);
  EXPECT_EQ(download.dataOut[0xFEFB], 0xA1);
  // The drive rebuilt exactly the image from the command and the data.
  EXPECT_EQ(bus_->Device(0, 0)->Firmware(), image);
}

TEST_F(DownloadTest, DriveThatAnswersTheFirstInquiryNeedsOneSettleDelay) {
  StartWith({}, HexFile(0xFEF0, {'1', '.', '1', '0'}));
  const int sleepsBefore = clock_.SleepCount();
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(clock_.SleepCount() - sleepsBefore, 1);
  EXPECT_EQ(clock_.LastSleep(), kSettleDelayMs);
  EXPECT_EQ(SentWith(kInquiry), 1);
  const auto sent = Sent();
  const LoggedCommand& inquiry = sent.back();
  EXPECT_EQ(inquiry.Opcode(), kInquiry);
  EXPECT_EQ(inquiry.cdb[4], 36);
  EXPECT_EQ(inquiry.transferLength, 36u);
  EXPECT_EQ(inquiry.flags, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT);
  EXPECT_EQ(Row(4), "1.10");
  const auto history = StatusHistory();
  EXPECT_NE(std::find(history.begin(), history.end(), "Downloading..."), history.end());
  EXPECT_EQ(Status(), "Download has been done successfully!");
  EXPECT_TRUE(record_.downloadAttempted);
  EXPECT_TRUE(record_.downloadTaken);
  EXPECT_TRUE(record_.downloadSucceeded);
}

TEST_F(DownloadTest, DriveThatAnswersLateIsAskedAgainAfterEachSettleDelay) {
  DeviceOptions slowToRestart;
  slowToRestart.busyMs = 7000;  // 4000 of progress and 2000 of settling are not enough
  StartWith(slowToRestart);
  const int sleepsBefore = clock_.SleepCount();
  EXPECT_EQ(Download(), 1);
  EXPECT_EQ(SentWith(kInquiry), 2);
  EXPECT_EQ(clock_.SleepCount() - sleepsBefore, 2);
  EXPECT_EQ(Row(4), bus_->Device(0, 0)->Revision());
}

TEST_F(DownloadTest, DriveThatStaysBusyIsAskedUntilTheWindowEnds) {
  DeviceOptions neverBack;
  neverBack.busyMs = 0x7FFFFFFF;
  StartWith(neverBack);
  events_.rows[4] = "before";
  EXPECT_EQ(Download(), 0);
  EXPECT_GT(SentWith(kInquiry), kInquiryAttempts);
  EXPECT_EQ(clock_.LastSleep(), kBusyInquiryIntervalMs);
  EXPECT_NE(record_.failureReason.find("kept answering"), std::string::npos);
  EXPECT_EQ(Row(4), "before");
  EXPECT_EQ(Status(), "Download not confirmed: do not switch off!");
  EXPECT_TRUE(record_.downloadTaken);  // it may hold the new firmware
  EXPECT_FALSE(record_.downloadSucceeded);
}

// A drive that holds the check after the download is waited for until the
// reprogramming window's deadline (the download command's limit from its
// end), never given up on earlier, and no attempt follows the deadline.
TEST_F(DownloadTest, DriveThatHangsAfterTheDownloadIsWaitedForUntilTheWindowsDeadline) {
  ScopedCommandTimeLimitOverride limit(std::chrono::milliseconds(500));
  DeviceOptions hangs;
  hangs.faults.push_back({FaultKind::kHangAfterDownload, FaultScope::kDownload});
  StartWith(hangs);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Download(), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(SentWith(kInquiry), 1);
  EXPECT_EQ(Status(), "Download not confirmed: do not switch off!");
  EXPECT_TRUE(record_.driveMayBeBusy);
  EXPECT_EQ(record_.failureReason.rfind("Not confirmed: ", 0), 0u) << record_.failureReason;
  EXPECT_FALSE(InReprogrammingWindow());
}

// The check after the download counts an INQUIRY that a CD-ROM answered by
// the scan's rule, whatever model it names now (a new identity is confirmed
// and told); an answer as short as the scan takes is taken too.
struct CheckCase {
  const char* name;
  DeviceOptions options;
  int result;
  int inquiries;
  const char* newModel;
  const char* newRevision;
};

class DownloadCheck : public DownloadTest, public testing::WithParamInterface<CheckCase> {};

TEST_P(DownloadCheck, CountsACdRomsStandardDataWhateverItsModel) {
  StartWith(GetParam().options, HexFile(0xFEF0, {'1', '.', '1', '0'}));
  EXPECT_EQ(Download(), GetParam().result);
  EXPECT_EQ(SentWith(kInquiry), GetParam().inquiries);
  EXPECT_EQ(record_.newModel, GetParam().newModel);
  EXPECT_EQ(Row(4), GetParam().newRevision);
  EXPECT_EQ(record_.driveMayBeBusy, GetParam().result == 0);
}

DeviceOptions WithModelAfterDownload(const char* model) {
  DeviceOptions options;
  options.modelAfterDownload = model;
  return options;
}

DeviceOptions WithShortInquiry(std::uint32_t bytes) {
  DeviceOptions options;
  options.inquiryBytes = bytes;
  options.faults.push_back({FaultKind::kShortInquiry, FaultScope::kAll});
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DownloadCheck,
    testing::Values(CheckCase{"SameModel", {}, 1, 1, "", "1.10"},
                    CheckCase{"NewIdentity", WithModelAfterDownload("ACME    CD-ROM NEW-9000"), 1,
                              1, "ACME    CD-ROM NEW-9000", "1.10"},
                    CheckCase{"PartOfTheRevisionBytes", WithShortInquiry(34), 1, 1, "", "1."}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

TEST_F(DownloadTest, RefusedDownloadSendsNoInquiryAndShowsNoProgress) {
  DeviceOptions refusing;
  refusing.faults.push_back({FaultKind::kRefuseDownload, FaultScope::kDownload});
  StartWith(refusing);
  const int sleepsBefore = clock_.SleepCount();
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(SentWith(kDownload), 1);
  EXPECT_EQ(SentWith(kInquiry), 0);
  EXPECT_TRUE(events_.progress.empty());
  EXPECT_TRUE(events_.ticks.empty());
  EXPECT_EQ(clock_.SleepCount(), sleepsBefore);
  EXPECT_EQ(Status(), "Download incomplete: flash it again now!");
  EXPECT_TRUE(record_.downloadAttempted);
  EXPECT_FALSE(record_.downloadTaken);
  EXPECT_FALSE(record_.downloadSucceeded);
}

TEST_F(DownloadTest, FailedReadSendsNothingAndAddsNoText) {
  StartWith({}, ":0100000001FF\n");
  EXPECT_EQ(Download(), 0);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Status(), "HEX file is damaged!");
  const auto history = StatusHistory();
  EXPECT_EQ(std::find(history.begin(), history.end(), "Downloading..."), history.end());
  EXPECT_TRUE(record_.imageReadFailed);
  EXPECT_FALSE(record_.downloadAttempted);
  EXPECT_FALSE(record_.downloadTaken);
}

// A drive that refused the image took nothing: the next attempt reads the
// file again and sends the same command and data (the first left the buffer
// moved and overwritten by INQUIRY). One that took it is never sent it again.
TEST_F(DownloadTest, ARefusedDownloadMayBeRepeatedATakenOneNever) {
  DeviceOptions refusing;
  refusing.faults.push_back(Fault{FaultKind::kRefuseDownload, FaultScope::kDownload});
  StartWith(refusing, HexFile(0, {0xC0, 0xDE, 0x11}));
  ASSERT_EQ(Download(), 0);
  ASSERT_EQ(Download(), 0);
  std::vector<LoggedCommand> downloads;
  for (const LoggedCommand& command : Sent()) {
    if (command.Opcode() == kDownload) downloads.push_back(command);
  }
  ASSERT_EQ(downloads.size(), 2u);
  EXPECT_EQ(std::memcmp(downloads[0].cdb, downloads[1].cdb, 12), 0);
  EXPECT_EQ(downloads[0].dataOut, downloads[1].dataOut);
  EXPECT_EQ(downloads[1].cdb[10], 0xC0);
  EXPECT_EQ(downloads[1].dataOut[0], 0x11);
}

TEST_F(DownloadTest, AnImageTheDriveMayHoldIsNeverSentAgain) {
  DeviceOptions silent;
  silent.busyMs = 0x7FFFFFFF;  // never back within the checks
  StartWith(silent);
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(record_.outcome, Outcome::kUnconfirmed);
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(SentWith(kDownload), 1) << "sent a second time";
}

TEST_F(DownloadTest, NoAcceptedDriveRefusesBeforeReading) {
  WriteFile("image.hex", HexFile(0, {0xFF}));
  DeviceOptions other;
  other.kind = DeviceKind::kCdrom;
  AddDevice(0, 7, other);
  Start();
  const std::size_t sent = ScsiCommands().size();
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(ScsiCommands().size(), sent);
  EXPECT_EQ(Status(), "Fail to Find Device");
  EXPECT_FALSE(record_.downloadAttempted);
  EXPECT_FALSE(record_.downloadTaken);
  // Even with the sweep's last address named again, the empty table refuses.
  device_->SelectTarget(7);
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(ScsiCommands().size(), sent);
}

}  // namespace
