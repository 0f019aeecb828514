// Recording: every call and its outcome as one flushed JSON line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "aspi/command_time_limits.h"
#include "image/sha256.h"
#include "tests/support/temp_dir.h"
#include "transports/emulated/emulated_bus.h"
#include "transports/recording/captured_messages.h"
#include "transports/recording/recording_provider.h"
#include "transports/recording/replay_provider.h"
#include "transports/recording/session_format.h"

namespace {

using json = nlohmann::ordered_json;

struct Block {
  SRB_ExecSCSICmd srb;
  std::uint8_t reserve[64];
};

std::vector<json> Lines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

class Recording : public ::testing::Test {
 protected:
  void Bus(const char* layout) {
    std::string error;
    bus = EmulatedBus::FromLayout(layout, error);
    ASSERT_NE(bus, nullptr) << error;
  }

  void Load(std::uint8_t opcode, std::uint8_t flags, std::uint32_t length, int target = 0) {
    std::memset(&block, 0, sizeof block);
    block.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    block.srb.SRB_Target = static_cast<aspi::BYTE>(target);
    block.srb.SRB_Flags = flags;
    block.srb.SRB_BufLen = length;
    block.srb.SRB_BufPointer = buffer.data();
    block.srb.SRB_SenseLen = 18;
    block.srb.SRB_CDBLen = 12;
    block.srb.CDBByte[0] = opcode;
    if (opcode == 0x12) block.srb.CDBByte[4] = 36;
    if (opcode == 0x55) {
      const std::uint8_t rest[] = {0, 0, 0x77, 0, 0x12, 0x34, 0xFF, 0xFE, 2, 0xAB, 0xCD};
      std::memcpy(block.srb.CDBByte + 1, rest, sizeof rest);
    }
  }

  std::unique_ptr<EmulatedBus> bus;
  Block block{};
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(65540, 0);
};

TEST_F(Recording, EveryCallIsOnDiskAsSoonAsItReturns) {
  Bus("0:0=drive");
  const TempDir dir("qtr5-recording");
  const auto path = std::filesystem::path(dir.path()) / "session.jsonl";
  std::string error;
  auto recorder = RecordingProvider::Create(*bus, path.string(), error);
  ASSERT_NE(recorder, nullptr) << error;
  EXPECT_STREQ(recorder->Name(), "emulated");
  auto onDisk = [&] {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return Lines(text.str());
  };

  EXPECT_EQ(recorder->GetSupportInfo(), (aspi::DWORD{SS_COMP} << 8) | 1);
  auto lines = onDisk();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(
      lines[0].dump(),
      R"({"record":"header","format":"qtr5-aspi-session","version":1,"provider":"emulated"})");
  EXPECT_EQ(lines[1].dump(), R"({"record":"support_info","status":1,"adapters":1})");

  Load(0x12, SRB_DIR_IN, 36);
  EXPECT_EQ(recorder->SendCommand(&block.srb), SS_COMP);
  lines = onDisk();
  ASSERT_EQ(lines.size(), 3u);
  const json& exec = lines[2];
  EXPECT_EQ(exec.begin().key(), "record");
  EXPECT_EQ(exec["record"], "exec");
  EXPECT_EQ(exec["cdb"], "120000002400000000000000");
  EXPECT_EQ(exec["direction"], "in");
  EXPECT_EQ(exec["length"], 36);
  EXPECT_EQ(exec["sense_len"], 18);
  EXPECT_EQ(exec["status"], SS_COMP);
  EXPECT_EQ(exec["sense"], "");
  EXPECT_TRUE(exec["data_out_sha256"].is_null());
  EXPECT_EQ(exec["data_in"], recording::HexEncode(buffer.data(), 36));
  EXPECT_NE(exec["data_in"].get<std::string>().find("333137374b"), std::string::npos);  // "3177K"
  recorder.reset();
}

TEST_F(Recording, DataOutIsNamedByItsDigestAndFailuresKeepTheirSense) {
  Bus("0:0=drive+fault=sense-download");
  std::ostringstream out;
  RecordingProvider recorder(*bus, out);
  for (std::size_t i = 0; i < 65535; ++i) buffer[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
  Load(0x55, SRB_DIR_OUT, 65535);
  recorder.SendCommand(&block.srb);
  Load(0x12, SRB_DIR_IN, 36, 5);  // an empty target
  recorder.SendCommand(&block.srb);
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 3u);
  const json& download = lines[1];
  EXPECT_EQ(download["direction"], "out");
  EXPECT_EQ(download["data_out_sha256"], Sha256Hex(buffer.data(), 65535));
  EXPECT_TRUE(download["data_in"].is_null());
  EXPECT_EQ(download["status"], SS_ERR);
  EXPECT_EQ(download["targ_stat"], STATUS_CHKCOND);
  const std::string sense = download["sense"];
  EXPECT_EQ(sense.size(), 36u) << "all 18 requested sense bytes";
  EXPECT_EQ(sense.substr(0, 2), "70");
  EXPECT_EQ(lines[2]["target"], 5);
  EXPECT_EQ(lines[2]["data_in"], "") << "a command that failed brought no data back";
  EXPECT_NE(block.srb.SRB_Status, SS_COMP);
  EXPECT_EQ(lines[2]["status"], block.srb.SRB_Status);
  EXPECT_EQ(lines[2]["ha_stat"], block.srb.SRB_HaStat);
}

TEST_F(Recording, ACommandThatNeverEndsIsRecordedPendingAndItsAbortWithTheFinalStatus) {
  Bus("0:0=drive+fault=hang-inquiry");
  ScopedCommandTimeLimitOverride quick(std::chrono::milliseconds(30));
  std::ostringstream out;
  RecordingProvider recorder(*bus, out);
  Load(0x12, SRB_DIR_IN, 36);
  recorder.SendCommand(&block.srb);
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_ToAbort = &block.srb;
  recorder.SendCommand(&abort);
  SRB_BusDeviceReset reset{};
  reset.SRB_Cmd = SC_RESET_DEV;
  recorder.SendCommand(&reset);
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1]["status"], SS_PENDING);
  EXPECT_EQ(lines[2]["record"], "abort");
  EXPECT_EQ(lines[2]["aborted_status"], block.srb.SRB_Status);
  EXPECT_NE(block.srb.SRB_Status, SS_PENDING);
  EXPECT_EQ(lines[3]["record"], "reset");
  EXPECT_EQ(lines[3]["status"], reset.SRB_Status);
}

// A service that refuses every block unsent and leaves its status alone
// (Wine's wnaspi32 does).
class RefusingService : public AspiProvider {
 public:
  aspi::DWORD GetSupportInfo() override { return (aspi::DWORD{SS_COMP} << 8) | 1; }
  aspi::DWORD SendCommand(void*) override { return SS_INVALID_SRB; }
  const char* Name() const override { return "refusing"; }
};

TEST_F(Recording, ABlockRefusedOutrightIsRecordedWithoutWaitingForItsStatus) {
  RefusingService service;
  std::ostringstream out;
  RecordingProvider recorder(service, out);
  Load(0x12, SRB_DIR_IN, 36);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(recorder.SendCommand(&block.srb), SS_INVALID_SRB);
  // An INQUIRY may take 10 s and its status 5 s more to be written.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["return"], SS_INVALID_SRB);
}

TEST_F(Recording, AFailedWriteIsReportedButTheCommandStillGoesThrough) {
  Bus("0:0=drive");
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  std::ostringstream messages;
  RecordingProvider recorder(*bus, out, StreamSink(messages));
  Load(0x12, SRB_DIR_IN, 36);
  EXPECT_EQ(recorder.SendCommand(&block.srb), SS_COMP);
  EXPECT_EQ(buffer[0], 0x05);
  EXPECT_NE(messages.str().find("could not be written"), std::string::npos);
  std::string error;
  EXPECT_EQ(RecordingProvider::Create(*bus, "/nonexistent-qtr5/x.jsonl", error), nullptr);
  EXPECT_NE(error.find("/nonexistent-qtr5/x.jsonl"), std::string::npos);
}

// A transport that says something about a command, and names its devices.
class TalkingTransport : public AspiProvider {
 public:
  explicit TalkingTransport(DiagnosticSink messages) : messages_(std::move(messages)) {}
  aspi::DWORD GetSupportInfo() override { return (aspi::DWORD{SS_COMP} << 8) | 1; }
  aspi::DWORD SendCommand(void* request) override {
    messages_("/dev/sg4 (3:0:0:0): the host adapter reported an error (host status 0x07).");
    auto* srb = static_cast<SRB_ExecSCSICmd*>(request);
    srb->SRB_HaStat = HASTAT_PHASE_ERR;
    srb->SRB_Status = SS_ERR;
    return SS_ERR;
  }
  const char* Name() const override { return "sg"; }
  std::vector<std::string> DeviceNames(aspi::BYTE adapter, aspi::BYTE target) const override {
    if (adapter != 0 || target != 2) return {};
    return {"/dev/sg4", "3:0:2:0"};
  }

 private:
  DiagnosticSink messages_;
};

// What the transport told the user, and the names of its devices, are kept
// in the recording, and a replay tells and knows them again.
TEST_F(Recording, TheTransportsLinesAndDeviceNamesAreReplayed) {
  std::ostringstream shown;
  CapturedMessages captured(StreamSink(shown));
  TalkingTransport transport(captured.Sink());
  std::ostringstream out;
  RecordingProvider recorder(transport, out);
  recorder.AttachMessages(&captured);
  recorder.SetDiagnostics("/dev/sg9 (3:0:9:0) is at SCSI target id 9");
  recorder.GetSupportInfo();
  Load(0x1B, SRB_DIR_IN, 0, 2);
  recorder.SendCommand(&block.srb);
  const std::string line =
      "/dev/sg4 (3:0:0:0): the host adapter reported an error (host status 0x07).";
  EXPECT_EQ(shown.str(), line + "\n") << "shown as it came";

  std::istringstream in(out.str());
  std::ostringstream replayed;
  std::string error;
  auto replay = ReplayProvider::FromStream(in, "session", error, StreamSink(replayed));
  ASSERT_NE(replay, nullptr) << error;
  EXPECT_EQ(replay->Diagnostics(), "/dev/sg9 (3:0:9:0) is at SCSI target id 9");
  aspi::BYTE adapter = 9;
  aspi::BYTE target = 9;
  EXPECT_TRUE(replay->FindDevice("3:0:2:0", adapter, target));
  EXPECT_EQ(adapter, 0);
  EXPECT_EQ(target, 2);
  EXPECT_EQ(replay->DeviceNames(0, 2), transport.DeviceNames(0, 2));
  replay->GetSupportInfo();
  Load(0x1B, SRB_DIR_IN, 0, 2);
  replay->SendCommand(&block.srb);
  EXPECT_EQ(replayed.str(), recording::kReplayedPrefix + line + "\n");
  EXPECT_EQ(block.srb.SRB_Status, SS_ERR);
}

}  // namespace
