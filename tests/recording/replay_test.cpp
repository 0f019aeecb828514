// Replaying recorded sessions: the same calls get the same answers; any other
// call fails loudly, naming the line of the recording and the difference.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "aspi/aspi_provider.h"
#include "flash_flow.h"
#include "transports/emulated/emulated_bus.h"
#include "transports/recording/recording_provider.h"
#include "transports/recording/replay_provider.h"

namespace {

// A test image: "1.10" at 0xFEF0, 0xFF from 0xFF00 on.
std::vector<std::uint8_t> TestImage() {
  std::vector<std::uint8_t> image(65540, 0xFF);
  for (std::size_t i = 0; i < 0xFF00; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 1);
  std::memcpy(image.data() + 0xFEF0, "1.10", 4);
  return image;
}

// Records the whole flow against the session's emulated bus.
std::string RecordSession(const std::vector<std::uint8_t>& image, FlowOutcome& outcome) {
  std::string error;
  auto bus = EmulatedBus::FromLayout(kSessionLayout, error);
  EXPECT_NE(bus, nullptr) << error;
  std::uint32_t now = 0;
  bus->SetClock([&now] { return now; });
  std::ostringstream out;
  RecordingProvider recorder(*bus, out);
  InstallAspiProvider(&recorder);
  outcome = RunFlashFlow(image.data(), [&now] { now += kSessionSettleMs; });
  InstallAspiProvider(nullptr);
  return out.str();
}

struct Replayed {
  FlowOutcome outcome;
  std::string messages;
  bool diverged = false;
  std::size_t remaining = 0;
};

Replayed Replay(const std::string& recording, const std::vector<std::uint8_t>& image) {
  Replayed result;
  std::istringstream in(recording);
  std::ostringstream messages;
  std::string error;
  auto replay = ReplayProvider::FromStream(in, "session", error, StreamSink(messages));
  EXPECT_NE(replay, nullptr) << error;
  if (!replay) return result;
  InstallAspiProvider(replay.get());
  result.outcome = RunFlashFlow(image.data(), [] {});
  InstallAspiProvider(nullptr);
  result.messages = messages.str();
  result.diverged = replay->Diverged();
  result.remaining = replay->Remaining();
  return result;
}

int LineOfDownload(const std::string& recording) {
  std::istringstream in(recording);
  int line = 0;
  for (std::string text; std::getline(in, text);) {
    ++line;
    if (text.find(R"("cdb":"55)") != std::string::npos) return line;
  }
  return -1;
}

TEST(Replay, ARecordedSessionReplaysToTheSameOutcome) {
  const auto image = TestImage();
  FlowOutcome recorded;
  const std::string recording = RecordSession(image, recorded);
  ASSERT_TRUE(recorded.verified);
  EXPECT_EQ(recorded.verifyAttempts, 2) << "the drive is still busy at the first attempt";
  EXPECT_EQ(recorded.accepted, 1);

  const Replayed replayed = Replay(recording, image);
  EXPECT_EQ(replayed.messages, "");
  EXPECT_FALSE(replayed.diverged);
  EXPECT_EQ(replayed.remaining, 0u);
  EXPECT_EQ(replayed.outcome.accepted, recorded.accepted);
  EXPECT_EQ(replayed.outcome.adapter, recorded.adapter);
  EXPECT_EQ(replayed.outcome.model, recorded.model);
  EXPECT_EQ(replayed.outcome.revisionBefore, "1.00");
  EXPECT_TRUE(replayed.outcome.downloadOk);
  EXPECT_EQ(replayed.outcome.verifyAttempts, 2);
  EXPECT_EQ(replayed.outcome.revisionAfter, "1.10");
}

TEST(Replay, OtherDataOutIsCaughtByItsDigestAtTheLineOfTheDownload) {
  const auto image = TestImage();
  FlowOutcome recorded;
  const std::string recording = RecordSession(image, recorded);
  // Two bytes swapped: the same checksum and command block, other data.
  auto other = image;
  std::swap(other[100], other[101]);
  ASSERT_NE(other[100], other[101]);
  const Replayed replayed = Replay(recording, other);
  EXPECT_FALSE(replayed.outcome.downloadOk);
  EXPECT_TRUE(replayed.diverged);
  const std::string line = "line " + std::to_string(LineOfDownload(recording)) + ":";
  EXPECT_NE(replayed.messages.find(line), std::string::npos) << replayed.messages;
  EXPECT_NE(replayed.messages.find("data_out_sha256: sent"), std::string::npos);
  EXPECT_EQ(replayed.messages.find("cdb:"), std::string::npos) << replayed.messages;
}

TEST(Replay, AnotherCommandBlockIsNamedFieldByField) {
  const auto image = TestImage();
  FlowOutcome recorded;
  const std::string recording = RecordSession(image, recorded);
  auto other = image;
  other[0] ^= 0x01;  // a different checksum and a different byte 10
  const Replayed replayed = Replay(recording, other);
  EXPECT_FALSE(replayed.outcome.downloadOk);
  EXPECT_NE(replayed.messages.find("cdb: sent \"55000077"), std::string::npos) << replayed.messages;
  EXPECT_NE(replayed.messages.find(", recorded \"55000077"), std::string::npos);
}

TEST(Replay, CallsBeyondTheRecordingFailAndSoDoesEverythingAfterADivergence) {
  const auto image = TestImage();
  FlowOutcome recorded;
  std::string recording = RecordSession(image, recorded);
  // Cut the last line (the successful verification).
  recording.erase(recording.rfind('\n', recording.size() - 2) + 1);
  const Replayed replayed = Replay(recording, image);
  EXPECT_TRUE(replayed.outcome.downloadOk);
  EXPECT_FALSE(replayed.outcome.verified);
  EXPECT_EQ(replayed.outcome.verifyAttempts, 4);
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
