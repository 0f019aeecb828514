// Replaying recorded sessions: the same calls get the same answers; any other
// call fails loudly, naming the line of the recording and the difference.
// Whole sessions are those of the application itself (its start-up scan, the
// download and the check after it) on the headless window backend.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "aspi/aspi_provider.h"
#include "discovery/device_table.h"
#include "resources/resource_ids.h"
#include "tests/app/app_harness.h"
#include "transports/emulated/emulated_bus.h"
#include "transports/recording/recording_provider.h"
#include "transports/recording/replay_provider.h"

namespace {

// The session's bus: the drive (busy long enough after the download that the
// first check after it fails), a disk and another CD-ROM drive.
constexpr const char* kSessionLayout = "0:0=drive+busy=7000,0:1=disk,1:2=cdrom";

// A test image: "1.10" at 0xFEF0, 0xFF from 0xFF00 on (as the loader fills).
std::vector<std::uint8_t> TestImage() {
  std::vector<std::uint8_t> image(0xFF00);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 1);
  std::memcpy(image.data() + 0xFEF0, "1.10", 4);
  return image;
}

// What one run of the application showed, and every call it made, as
// recorded.
struct Session {
  std::string status;
  int accepted = 0;
  std::string address;
  std::string model;
  std::string revisionBefore;
  std::string revisionAfter;
  std::string calls;
  // Read from `calls`: the line of the download command, whether the drive
  // took it, and the INQUIRY commands sent after it.
  int downloadLine = -1;
  bool downloadOk = false;
  int verifyAttempts = 0;
  // With a replay: what it told, and how it ended.
  std::string messages;
  bool diverged = false;
  std::size_t remaining = 0;
};

// One run of the application with the test image written as the default
// image, through `provider`, whose every call is recorded.
class Bench : public AppTest {
 public:
  void TestBody() override {}

  // The session's bus on the bench's clock, to record against.
  EmulatedBus& SessionBus() {
    std::string error;
    bus_ = EmulatedBus::FromLayout(kSessionLayout, error);
    EXPECT_NE(bus_, nullptr) << error;
    bus_->SetClock([this] { return clock_.Now(); });
    return *bus_;
  }

  Session Download(AspiProvider& provider, const std::vector<std::uint8_t>& image) {
    Session session;
    std::ostringstream calls;
    {
      RecordingProvider recorder(provider, calls);
      InstallAspiProvider(&recorder);
      WriteDefaultImage(0, image);
      Start();
      driver_.Click(Main(), kIdDownload);
      session.status = Status();
      session.accepted = g_deviceCount;
      session.address = Row(0);
      session.model = Row(2);
      session.revisionBefore = Row(3);
      session.revisionAfter = Row(4);
      app_.reset();
      InstallAspiProvider(nullptr);
    }
    session.calls = calls.str();
    std::istringstream lines(session.calls);
    int line = 0;
    for (std::string text; std::getline(lines, text);) {
      ++line;
      const auto record = nlohmann::json::parse(text);
      const std::string cdb = record.value("cdb", "");
      if (cdb.rfind("55", 0) == 0) {
        session.downloadLine = line;
        session.downloadOk = record["status"] == SS_COMP;
      } else if (cdb.rfind("12", 0) == 0 && session.downloadLine > 0) {
        ++session.verifyAttempts;
      }
    }
    return session;
  }
};

// Records a whole session against the session's bus.
Session RecordSession(const std::vector<std::uint8_t>& image) {
  Bench bench;
  return bench.Download(bench.SessionBus(), image);
}

Session ReplaySession(const std::string& recording, const std::vector<std::uint8_t>& image) {
  Bench bench;
  std::istringstream in(recording);
  std::ostringstream messages;
  std::string error;
  auto replay = ReplayProvider::FromStream(in, "session", error, StreamSink(messages));
  EXPECT_NE(replay, nullptr) << error;
  if (!replay) return {};
  Session session = bench.Download(*replay, image);
  session.messages = messages.str();
  session.diverged = replay->Diverged();
  session.remaining = replay->Remaining();
  return session;
}

constexpr const char* kSuccess = "Download has been done successfully!";
constexpr const char* kFailed = "Download has been failed!";
constexpr const char* kUnconfirmed = "Download not confirmed: do not switch off!";

TEST(Replay, ARecordedSessionReplaysToTheSameOutcome) {
  const auto image = TestImage();
  const Session recorded = RecordSession(image);
  ASSERT_EQ(recorded.status, kSuccess);
  EXPECT_EQ(recorded.verifyAttempts, 2) << "the drive is still busy at the first attempt";
  EXPECT_EQ(recorded.accepted, 1);

  const Session replayed = ReplaySession(recorded.calls, image);
  EXPECT_EQ(replayed.messages, "");
  EXPECT_FALSE(replayed.diverged);
  EXPECT_EQ(replayed.remaining, 0u);
  EXPECT_EQ(replayed.accepted, recorded.accepted);
  EXPECT_EQ(replayed.address, recorded.address);
  EXPECT_EQ(replayed.model, recorded.model);
  EXPECT_EQ(replayed.revisionBefore, "1.00");
  EXPECT_TRUE(replayed.downloadOk);
  EXPECT_EQ(replayed.verifyAttempts, 2);
  EXPECT_EQ(replayed.revisionAfter, "1.10");
  EXPECT_EQ(replayed.status, kSuccess);
}

TEST(Replay, OtherDataOutIsCaughtByItsDigestAtTheLineOfTheDownload) {
  const auto image = TestImage();
  const Session recorded = RecordSession(image);
  // Two bytes swapped: the same checksum and command block, other data.
  auto other = image;
  std::swap(other[100], other[101]);
  ASSERT_NE(other[100], other[101]);
  const Session replayed = ReplaySession(recorded.calls, other);
  EXPECT_FALSE(replayed.downloadOk);
  EXPECT_EQ(replayed.status, kFailed);
  EXPECT_TRUE(replayed.diverged);
  const std::string line = "line " + std::to_string(recorded.downloadLine) + ":";
  EXPECT_NE(replayed.messages.find(line), std::string::npos) << replayed.messages;
  EXPECT_NE(replayed.messages.find("data_out_sha256: sent"), std::string::npos);
  EXPECT_EQ(replayed.messages.find("cdb:"), std::string::npos) << replayed.messages;
}

TEST(Replay, AnotherCommandBlockIsNamedFieldByField) {
  const auto image = TestImage();
  const Session recorded = RecordSession(image);
  auto other = image;
  other[0] ^= 0x01;  // a different checksum and a different byte 10
  const Session replayed = ReplaySession(recorded.calls, other);
  EXPECT_FALSE(replayed.downloadOk);
  EXPECT_NE(replayed.messages.find("cdb: sent \"55000077"), std::string::npos) << replayed.messages;
  EXPECT_NE(replayed.messages.find(", recorded \"55000077"), std::string::npos);
}

TEST(Replay, CallsBeyondTheRecordingFailAndSoDoesEverythingAfterADivergence) {
  const auto image = TestImage();
  const Session recorded = RecordSession(image);
  // Cut the last line (the successful check after the download).
  std::string recording = recorded.calls;
  recording.erase(recording.rfind('\n', recording.size() - 2) + 1);
  const Session replayed = ReplaySession(recording, image);
  EXPECT_TRUE(replayed.downloadOk);
  EXPECT_EQ(replayed.status, kUnconfirmed);
  EXPECT_EQ(replayed.verifyAttempts, 4);
  EXPECT_NE(replayed.messages.find("beyond the end of the recording"), std::string::npos)
      << replayed.messages;
  EXPECT_NE(replayed.messages.find("already left the recording"), std::string::npos);
}

TEST(Replay, AnotherKindOfCallOrAnotherAddressIsRefused) {
  const std::string recording =
      R"({"record":"header","format":"qtr5-aspi-session","version":1,"provider":"sg"})"
      "\n"
      R"({"record":"reset","ha":0,"target":0,"lun":0,"return":1,"status":1,"ha_stat":0,"targ_stat":0})"
      "\n";
  std::istringstream in(recording);
  std::ostringstream messages;
  std::string error;
  auto replay = ReplayProvider::FromStream(in, "x.jsonl", error, StreamSink(messages));
  ASSERT_NE(replay, nullptr) << error;
  EXPECT_EQ((replay->GetSupportInfo() >> 8) & 0xFF, SS_FAILED_INIT);
  EXPECT_NE(messages.str().find("x.jsonl: line 2: the program made the call support_info where "
                                "the recording has a \"reset\" record"),
            std::string::npos)
      << messages.str();

  std::istringstream again(recording);
  replay = ReplayProvider::FromStream(again, "x.jsonl", error, StreamSink(messages));
  SRB_BusDeviceReset reset{};
  reset.SRB_Cmd = SC_RESET_DEV;
  reset.SRB_Target = 3;
  EXPECT_EQ(replay->SendCommand(&reset), SS_ERR);
  EXPECT_EQ(reset.SRB_Status, SS_ERR);
  EXPECT_TRUE(replay->Diverged());
}

TEST(Replay, FilesThatAreNoRecordingAreRefusedNamingTheLine) {
  const std::string header =
      R"({"record":"header","format":"qtr5-aspi-session","version":1,"provider":"sg"})"
      "\n";
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"", "is empty"},
      {R"({"record":"support_info","status":1,"adapters":1})"
       "\n",
       "line 1: not a session recording"},
      {R"({"record":"header","format":"qtr5-aspi-session","version":7})"
       "\n",
       "line 1: recording format version 7 is not supported"},
      {header + "\n" + "{not json\n", "line 3: not a JSON object"},
      {header + R"({"record":"exec","ha":0})" + "\n", "line 2: field \"target\" is missing"},
      {header + R"({"record":"support_info","status":"1","adapters":1})" + "\n",
       "line 2: field \"status\" is missing or of the wrong type"},
      {header + R"({"record":"teleport"})" + "\n", "line 2: unknown record kind \"teleport\""},
      // Fields of the wrong JSON type are refused, never thrown at.
      {R"({"record":1})"
       "\n",
       "line 1: not a session recording"},
      {R"({"record":"header","format":7,"version":1})"
       "\n",
       "line 1: not a session recording"},
      {R"({"record":"header","format":"qtr5-aspi-session","version":"1"})"
       "\n",
       "line 1: recording format version \"1\" is not supported"},
      {header + R"({"record":["x"]})" + "\n", "line 2: unknown record kind"},
      {header +
           R"({"record":"reset","ha":0,"target":0,"lun":0,"return":1,"status":1,)"
           R"("ha_stat":"0"})" +
           "\n",
       "line 2: field \"ha_stat\" is of the wrong type"},
      {header + std::string(2 << 20, ' ') + "\n", "line 2: longer than any line"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    std::string error;
    EXPECT_EQ(ReplayProvider::FromStream(in, "bad.jsonl", error), nullptr) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(error.rfind("bad.jsonl", 0), 0u) << error;
  }
  std::string error;
  EXPECT_EQ(ReplayProvider::Open("/nonexistent-qtr5/session.jsonl", error), nullptr);
  EXPECT_NE(error.find("Cannot read the session recording"), std::string::npos);
  // Only regular files: a pipe without a writer would block, /dev/zero never end.
  const std::string fifo = testing::TempDir() + "qtr5-replay-fifo-" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), testing::TempDir()}) {
    EXPECT_EQ(ReplayProvider::Open(path, error), nullptr) << path;
    EXPECT_NE(error.find("is not a regular file"), std::string::npos) << error;
  }
  unlink(fifo.c_str());
}

}  // namespace
