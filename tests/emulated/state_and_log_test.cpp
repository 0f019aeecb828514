// The state folder between runs, and the command log.
#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "image/atomic_file.h"
#include "tests/support/bus_fixture.h"
#include "tests/support/temp_dir.h"
#include "transports/emulated/state_store.h"

namespace {

namespace fs = std::filesystem;

class StateFolder : public BusFixture {
 protected:
  void BuildWithState(std::string_view layout) {
    Build(layout);
    std::string error;
    ASSERT_TRUE(bus_->SetStateDirectory(dir_.string(), error)) << error;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Write(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  bool FolderHasTemporaryFiles() const {
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      if (entry.path().extension() == ".tmp") return true;
    }
    return false;
  }

  TempDir folder_{"qtr5-emulator-state"};
  const fs::path dir_ = folder_.path();
};

TEST_F(StateFolder, AGoodDownloadIsKeptAndASecondRunReportsTheNewRevision) {
  BuildWithState("1:2=drive+busy=0");
  At(1, 2);
  const std::vector<std::uint8_t> image = MakeImage("1.10");
  ASSERT_TRUE(Download(image));
  EXPECT_EQ(bus_->LastStateError(), "");
  const std::string firmware = Read(dir_ / "1-2" / "firmware.bin");
  ASSERT_EQ(firmware.size(), 65536u);
  EXPECT_EQ(std::vector<std::uint8_t>(firmware.begin(), firmware.end()), image);
  EXPECT_EQ(Read(dir_ / "1-2" / "revision"), "1.10\n");
  EXPECT_FALSE(FolderHasTemporaryFiles());

  BusFixture::TearDown();  // the first run ends; the folder stays
  BuildWithState("1:2=drive");
  At(1, 2);
  ASSERT_TRUE(Inquiry());  // not busy: the reprogramming belonged to the last run
  EXPECT_EQ(Revision(), "1.10");
  EXPECT_EQ(bus_->Device(1, 2)->Firmware(), image);
}

TEST_F(StateFolder, AFirmwareFileWithoutARevisionGivesTheRevisionByTheImageRule) {
  const std::vector<std::uint8_t> image = MakeImage("7.77");
  Write(dir_ / "0-0" / "firmware.bin", std::string(image.begin(), image.end()));
  BuildWithState("");
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(Revision(), "7.77");
}

TEST_F(StateFolder, ARefusedDownloadWritesNothing) {
  BuildWithState("0:0=drive+busy=0");
  LoadDownload(MakeImage("1.10"));
  ++device_->commandBlock[5];
  EXPECT_FALSE(device_->ExecuteWait());
  EXPECT_FALSE(fs::exists(dir_ / "0-0"));
}

struct Damage {
  const char* file;
  std::string content;
  const char* message;
};

class DamagedState : public StateFolder, public testing::WithParamInterface<Damage> {};

TEST_P(DamagedState, IsRefusedAndLeavesTheDriveAsItWas) {
  Write(dir_ / "0-0" / GetParam().file, GetParam().content);
  Build("0:0=drive");
  std::string error;
  EXPECT_FALSE(bus_->SetStateDirectory(dir_.string(), error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
  ASSERT_TRUE(Inquiry());
  EXPECT_EQ(Revision(), "1.00");
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedState,
    testing::Values(Damage{"firmware.bin", std::string(100, 'x'),
                           "holds 100 bytes, expected 65536"},
                    Damage{"firmware.bin", std::string(65537, 'x'), "holds 65537 bytes"},
                    Damage{"revision", "12345\n", "1 to 4 printable characters"},
                    Damage{"revision", "", "1 to 4 printable characters"},
                    Damage{"revision", "1.\x01\n", "1 to 4 printable characters"}));

TEST_F(StateFolder, AFolderThatCannotBeUsedIsRefused) {
  Build("");
  Write(dir_ / "plain-file", "x");
  std::string error;
  EXPECT_FALSE(bus_->SetStateDirectory((dir_ / "plain-file").string(), error));
  EXPECT_NE(error.find("cannot use"), std::string::npos) << error;
  EXPECT_FALSE(bus_->SetStateDirectory("", error));
}

TEST_F(StateFolder, AFailedSaveIsReportedButTheDrivesAnswerStands) {
  BuildWithState("0:0=drive+busy=0");
  Write(dir_ / "0-0", "in the way");  // a file where the folder should go
  EXPECT_TRUE(Download(MakeImage("1.10")));
  EXPECT_NE(bus_->LastStateError(), "");
  EXPECT_EQ(Read(dir_ / "0-0"), "in the way");
}

TEST_F(StateFolder, AtomicWritesReplaceTheWholeFileOrNothing) {
  const fs::path path = dir_ / "file";
  std::string error;
  ASSERT_TRUE(emulated::WriteFileAtomically(path, "first version", 13, error)) << error;
  ASSERT_TRUE(emulated::WriteFileAtomically(path, "second", 6, error)) << error;
  EXPECT_EQ(Read(path), "second");
  EXPECT_FALSE(emulated::WriteFileAtomically(dir_ / "missing" / "file", "x", 1, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  EXPECT_FALSE(FolderHasTemporaryFiles());
}

// Names another program could plant before the write (the old fixed
// "NAME.tmp" and the process-numbered names of the image writer) must neither
// send the bytes elsewhere through a link nor stop the write.
TEST_F(StateFolder, PlantedTemporaryNamesNeitherRedirectNorStopAWrite) {
  const fs::path victim = dir_ / "victim";
  Write(victim, "keep me");
  const fs::path target = dir_ / "firmware.bin";
  fs::create_symlink(victim, dir_ / "firmware.bin.tmp");
  for (int n = 0; n < 100; ++n) {
    fs::create_symlink(victim, dir_ / (".qtr5-save-" + std::to_string(getpid()) + "-" +
                                       std::to_string(n) + ".tmp"));
  }
  const std::string bytes(65536, '\x5A');
  const struct {
    const char* writer;
    std::function<bool(std::string&)> write;
  } writers[] = {
      {"the drive state",
       [&](std::string& e) {
         return emulated::WriteFileAtomically(target, bytes.data(), bytes.size(), e);
       }},
      {"--save-image",
       [&](std::string& e) {
         return WriteFileAtomically(target.string().c_str(), bytes.data(), bytes.size(), e);
       }},
  };
  for (const auto& w : writers) {
    fs::remove(target);
    std::string error;
    EXPECT_TRUE(w.write(error)) << w.writer << ": " << error;
    EXPECT_TRUE(Read(target) == bytes) << w.writer;
    EXPECT_EQ(Read(victim), "keep me") << w.writer;
  }
}

// Two runs saving the same drive while a third reads it: every read sees the
// firmware and the revision of one and the same save.
TEST_F(StateFolder, SavesAtOnceNeverShowHalfOfEither) {
  const fs::path folder = emulated::DriveStateFolder(dir_, 0, 0);
  std::atomic<bool> stop{false};
  auto saver = [&](char fill, std::string revision) {
    const std::vector<std::uint8_t> firmware(65536, static_cast<std::uint8_t>(fill));
    std::string error;
    while (!stop) EXPECT_TRUE(emulated::SaveDriveState(folder, revision, firmware, error)) << error;
  };
  std::string error;
  ASSERT_TRUE(
      emulated::SaveDriveState(folder, "AAAA", std::vector<std::uint8_t>(65536, 'A'), error));
  std::thread first(saver, 'A', "AAAA");
  std::thread second(saver, 'B', "BBBB");
  int torn = 0;
  for (int read = 0; read < 300; ++read) {
    emulated::StoredDriveState state;
    if (!emulated::LoadDriveState(folder, state, error) || state.firmware.size() != 65536 ||
        state.revision != std::string(4, static_cast<char>(state.firmware[0])))
      ++torn;
  }
  stop = true;
  first.join();
  second.join();
  EXPECT_EQ(torn, 0) << error;
}

TEST_F(BusFixture, TheLogKeepsEveryRequestInOrderPerBusAndPerDevice) {
  Build("0:0=drive,0:2=disk");
  ASSERT_TRUE(Inquiry());
  At(0, 1);
  EXPECT_FALSE(Inquiry());
  At(0, 2);
  ASSERT_TRUE(Inquiry());
  EXPECT_TRUE(device_->ResetDevice());

  const auto& log = bus_->Log();
  ASSERT_EQ(log.size(), 4u);
  for (std::size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].sequence, i);
  EXPECT_TRUE(log[0].devicePresent);
  EXPECT_EQ(log[0].status, SS_COMP);
  EXPECT_EQ(log[0].dataInLength, 36u);
  EXPECT_FALSE(log[1].devicePresent);
  EXPECT_EQ(log[1].haStat, HASTAT_SEL_TO);
  EXPECT_EQ(log[3].requestKind, SC_RESET_DEV);

  EXPECT_TRUE(bus_->CommandsTo(0, 1).size() == 1 && !bus_->CommandsTo(0, 1)[0].devicePresent);
  EXPECT_TRUE(bus_->CommandsTo(0, 3).empty());  // no command reached 0:3
  EXPECT_EQ(bus_->Device(0, 0)->Log().size(), 1u);
  EXPECT_EQ(bus_->Device(0, 2)->Log().size(), 2u);  // INQUIRY and the reset

  bus_->ClearLog();
  EXPECT_TRUE(bus_->Log().empty());
  EXPECT_TRUE(bus_->Device(0, 0)->Log().empty());
}

TEST_F(BusFixture, TheLogRecordsTheDataPhaseAndTheSenseOfARefusal) {
  Build("0:0=drive");
  LoadDownload(MakeImage("1.10"));
  device_->commandBlock[9] = 0x03;
  EXPECT_FALSE(device_->ExecuteWait());
  const LoggedCommand& sent = bus_->Log().back();
  EXPECT_EQ(sent.Opcode(), 0x55);
  EXPECT_EQ(sent.cdb[9], 0x03);
  EXPECT_EQ(sent.flags, SRB_DIR_OUT);
  EXPECT_EQ(sent.transferLength, 65535u);
  EXPECT_EQ(sent.dataOut.size(), 65535u);
  EXPECT_EQ(sent.targStat, STATUS_CHKCOND);
  EXPECT_EQ(sent.senseKey, 0x05);
  EXPECT_EQ(sent.asc, 0x24);
}

}  // namespace
