// qtr5-download flashing emulated drives as users run it: with --yes, on a
// terminal, with several drives, with failures, and through recorded sessions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program/program_run.h"

namespace {

// ---- the whole flow ----

TEST_F(ProgramRun, DownloadWithYesFlashesTheDriveAndReportsTheNewRevision) {
  PutDefaultImage();
  const RunResult r = Run({"--emulate", "--yes", "--emulate-state", "state"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  for (const char* text :
       {"Open Tray...", "Ready to Download, select HEX file...", "Reading is success!",
        "Download has been done successfully!", "Please Reboot system"})
    EXPECT_TRUE(Contains(r.output, text)) << text << "\n" << r.output;
  EXPECT_TRUE(Contains(LineWith(r.output, "New F/W Version"), "1.10")) << r.output;
  EXPECT_TRUE(Contains(LineWith(r.output, "Current F/W Version"), "1.00")) << r.output;
  EXPECT_LT(r.output.find("Reading is success!"),
            r.output.find("Download has been done successfully!"));
  EXPECT_EQ(ReadFile(dir_ / "state" / "0-0" / "firmware.bin"), SampleImage());

  // The drive keeps its new firmware: the next run sees revision 1.10.
  const RunResult again = Run({"--emulate", "--emulate-state", "state", "--list", "--json"});
  ASSERT_EQ(again.status, 0) << Describe(again);
  EXPECT_EQ(nlohmann::json::parse(again.output)["drives"][0]["revision"], "1.10");
}

// With --json standard output carries one object that says what the run did;
// what the window showed goes to standard error.
TEST_F(ProgramRun, JsonSummaryOfARun) {
  PutDefaultImage();
  const RunResult done = Run({"--emulate", "--yes", "--json"});
  ASSERT_EQ(done.status, 0) << Describe(done);
  const nlohmann::json summary = nlohmann::json::parse(done.output);
  EXPECT_EQ(summary["status"], 0);
  EXPECT_EQ(summary["outcome"], "success");
  EXPECT_EQ(summary["drive"]["adapter"], 0);
  EXPECT_EQ(summary["drive"]["revision"], "1.00");
  EXPECT_TRUE(Contains(summary["drive"]["model"].get<std::string>(), "3177K"));
  EXPECT_EQ(summary["image"], "QTR5_ORNA.HEX");
  EXPECT_EQ(summary["newRevision"], "1.10");
  EXPECT_EQ(summary["checksum"], LineWith(Run({"--check", "QTR5_ORNA.HEX"}).output, "Check Sum")
                                     .substr(std::string("Check Sum: ").size()));
  EXPECT_TRUE(Contains(done.error, "Download has been done successfully!")) << done.error;

  const RunResult refused = Run({"--emulate=0:0=drive,1:3=drive", "--yes", "--json"});
  EXPECT_EQ(refused.status, 5) << Describe(refused);
  const nlohmann::json none = nlohmann::json::parse(refused.output);
  EXPECT_EQ(none["outcome"], "refused-to-guess");
  EXPECT_EQ(none["status"], 5);
  EXPECT_EQ(none["drivesFound"], 2);
  EXPECT_TRUE(none["drive"].is_null());
  EXPECT_TRUE(none["newRevision"].is_null());
}

TEST_F(ProgramRun, ImageOptionTakesPrecedenceOverTheDefaultImage) {
  std::ofstream(dir_ / "QTR5_ORNA.HEX") << ":0100000041FF\r\n";  // damaged: would fail
  fs::copy_file(kSample, dir_ / "other.hex");
  const RunResult r = Run({"--emulate", "--yes", "--image", "other.hex", "--emulate-state", "s"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(ReadFile(dir_ / "s" / "0-0" / "firmware.bin"), SampleImage());
}

TEST_F(ProgramRun, FailuresOfTheImageOrTheDownloadEndWithStatusOne) {
  const struct {
    std::vector<std::string> args;
    bool defaultImage;
    const char* message;
  } cases[] = {
      {{"--emulate=0:0=drive+fault=refuse-image", "--yes"}, true, "Download has been failed!"},
      {{"--emulate", "--yes", "--image", "missing.hex"}, false, "Can NOT open HEX file..."},
      {{"--emulate", "--yes"}, false, "QTR5_ORNA.HEX file not found."},
  };
  for (const auto& c : cases) {
    fs::remove(dir_ / "QTR5_ORNA.HEX");
    if (c.defaultImage) PutDefaultImage();
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--emulate-state", "state"});
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 1) << c.message << "\n" << Describe(r);
    EXPECT_TRUE(Contains(r.output, c.message)) << Describe(r);
    EXPECT_FALSE(Contains(r.output, "Please Reboot system")) << r.output;
    EXPECT_FALSE(Contains(r.error, "did not answer")) << c.message << "\n" << r.error;
    EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin")) << c.message;
  }
}

TEST_F(ProgramRun, NoDriveEndsWithStatusThree) {
  PutDefaultImage();
  for (const char* layout : {"--emulate=absent", "--emulate=empty", "--emulate=0:0=cdrom"}) {
    const RunResult r = Run({layout, "--yes"});
    EXPECT_EQ(r.status, 3) << layout << "\n" << Describe(r);
    EXPECT_TRUE(Contains(r.output, "Fail to Find Device")) << Describe(r);
    EXPECT_FALSE(Contains(r.output, "Open Tray")) << r.output;
  }
  const RunResult absent = Run({"--emulate=absent", "--yes"});
  EXPECT_LT(absent.output.find("Fail to Initialize ASPI !"),
            absent.output.find("Fail to Find Device"));
}

TEST_F(ProgramRun, SeveralDrivesAreNeverGuessedAmong) {
  PutDefaultImage();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--yes"}, std::vector<std::string>{}}) {
    std::vector<std::string> all{"--emulate=0:0=drive,1:3=drive", "--emulate-state", "state"};
    all.insert(all.end(), args.begin(), args.end());
    const RunResult r = Run(all);
    EXPECT_EQ(r.status, 5) << Describe(r);
    EXPECT_TRUE(Contains(r.error, "--device")) << r.error;
    EXPECT_FALSE(Contains(r.output, "Open Tray")) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"));
    EXPECT_FALSE(fs::exists(dir_ / "state" / "1-3" / "firmware.bin"));
  }
}

TEST_F(ProgramRun, DeviceOptionChoosesTheDriveToFlash) {
  PutDefaultImage();
  const RunResult r =
      Run({"--emulate=0:0=drive,1:3=drive", "--device", "1:3", "--yes", "--emulate-state", "st"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(LineWith(r.output, "Adapter : Target ID"), "1 : 3")) << r.output;
  EXPECT_TRUE(fs::exists(dir_ / "st" / "1-3" / "firmware.bin"));
  EXPECT_FALSE(fs::exists(dir_ / "st" / "0-0" / "firmware.bin"));

  const RunResult wrong = Run({"--emulate=0:0=drive,1:3=drive", "--device", "0:3", "--yes"});
  EXPECT_EQ(wrong.status, 3) << Describe(wrong);
  EXPECT_TRUE(Contains(wrong.output, "No XPM-3177K drive at 0:3")) << wrong.output;
}

TEST_F(ProgramRun, WithoutYesOrTerminalNothingIsDownloaded) {
  PutDefaultImage();
  const RunResult r = Run({"--emulate", "--emulate-state", "state"});
  EXPECT_EQ(r.status, 6) << Describe(r);
  EXPECT_TRUE(Contains(r.error, "Not downloading without --yes")) << r.error;
  // Found before the tray is opened.
  EXPECT_FALSE(Contains(r.output, "Open Tray...")) << r.output;
  EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"));
}

TEST_F(ProgramRun, OnATerminalTheProgramAsksBeforeItDownloads) {
  PutDefaultImage();
  RunRequest no;
  no.terminal = true;
  no.dialogue = {{"[y/N]", "n\n"}};
  const RunResult declined = Run({"--emulate", "--emulate-state", "state"}, no);
  if (!declined.started) GTEST_SKIP() << "no pseudo-terminal here";
  EXPECT_EQ(declined.status, 6) << Describe(declined);
  EXPECT_TRUE(Contains(declined.output, "Download QTR5_ORNA.HEX (checksum ")) << declined.output;
  EXPECT_TRUE(Contains(declined.output, " at 0:0? [y/N]")) << declined.output;
  EXPECT_TRUE(Contains(declined.output, "Download canceled by user...")) << declined.output;
  EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"));

  RunRequest yes = no;
  yes.dialogue = {{"[y/N]", "y\n"}};
  const RunResult accepted = Run({"--emulate", "--emulate-state", "state"}, yes);
  EXPECT_EQ(accepted.status, 0) << Describe(accepted);
  EXPECT_TRUE(Contains(accepted.output, "Download has been done successfully!"));
  EXPECT_TRUE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"));
}

// Two drives on a terminal: the question says where each listed drive is,
// and the drive chosen by number is the one that is flashed.
TEST_F(ProgramRun, OnATerminalTheChosenDriveOfSeveralIsFlashed) {
  PutDefaultImage();
  RunRequest request;
  request.terminal = true;
  request.dialogue = {{"Device number (1-2):", "2\n"}, {"[y/N]", "y\n"}};
  const RunResult r = Run({"--emulate=0:0=drive,1:2=drive", "--emulate-state", "state"}, request);
  if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.output, "1) 0:0  QTR5    CD-ROM XPM-3177K  1.00")) << r.output;
  EXPECT_TRUE(Contains(r.output, "2) 1:2  QTR5    CD-ROM XPM-3177K  1.00")) << r.output;
  EXPECT_TRUE(Contains(r.output, " at 1:2? [y/N]")) << r.output;
  EXPECT_TRUE(fs::exists(dir_ / "state" / "1-2" / "firmware.bin"));
  EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"));
}

// Questions go to the terminal, never into captured standard output; the
// end of input at the drive choice cancels the run.
TEST_F(ProgramRun, QuestionsReachTheTerminalEvenWithOutputRedirected) {
  PutDefaultImage();
  for (const char* layout : {"--emulate", "--emulate=0:0=drive,1:2=drive"}) {
    RunRequest request;
    request.terminal = true;
    request.dialogue = {{layout[9] ? "Device number (1-2):" : "[y/N]", "\x04"}};
    request.outputFile = (dir_ / "captured").string();
    const RunResult r = Run({layout, "--emulate-state", "state", "--json"}, request);
    const std::string captured = ReadFile(dir_ / "captured");
    EXPECT_EQ(r.status, 6) << Describe(r) << captured;
    EXPECT_TRUE(!layout[9] || Contains(r.output, "2) 1:2  QTR5    CD-ROM XPM-3177K  1.00"))
        << r.output;
    EXPECT_FALSE(Contains(captured, request.dialogue[0].first)) << captured;
    EXPECT_TRUE(Contains(captured, "\"outcome\":\"not-downloaded\"")) << captured;
  }
}

// Without the default image a user on a terminal names the file, as the
// browse button lets them, and is then asked before the download.
TEST_F(ProgramRun, OnATerminalAMissingImageIsAskedFor) {
  fs::copy_file(kSample, dir_ / "other.hex");
  RunRequest request;
  request.terminal = true;
  request.dialogue = {{"(*.HEX)", "other.hex\n"}, {"[y/N]", "yes\n"}};
  const RunResult r = Run({"--emulate", "--emulate-state", "state"}, request);
  if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.output, "QTR5_ORNA.HEX file not found.")) << r.output;
  EXPECT_TRUE(Contains(r.output, "Download other.hex (checksum ")) << r.output;
  EXPECT_EQ(ReadFile(dir_ / "state" / "0-0" / "firmware.bin"), SampleImage());
}

// ---- recorded sessions ----

TEST_F(ProgramRun, ARecordedSessionReplaysAndAnotherImageLeavesIt) {
  PutDefaultImage();
  const RunResult recorded = Run({"--emulate", "--yes", "--record", "session.jsonl"});
  ASSERT_EQ(recorded.status, 0) << Describe(recorded);
  ASSERT_TRUE(fs::file_size(dir_ / "session.jsonl") > 0);

  const RunResult replayed = Run({"--replay", "session.jsonl", "--yes"});
  EXPECT_EQ(replayed.status, 0) << Describe(replayed);
  // Everything but the progress lines, whose steps depend on the timing.
  EXPECT_EQ(WithoutProgress(replayed.output), WithoutProgress(recorded.output));

  // Another image sends other data: the replay refuses it, the download fails.
  std::ofstream(dir_ / "other.hex") << ":0100000041BE\r\n:00000001FF\r\n";
  const RunResult diverged = Run({"--replay", "session.jsonl", "--yes", "--image", "other.hex"});
  EXPECT_EQ(diverged.status, 7) << Describe(diverged);
  EXPECT_TRUE(Contains(diverged.output, "Download has been failed!")) << diverged.output;
  EXPECT_NE(diverged.error, "");
}

// The session shipped with the sources, recorded by the program itself (see
// tests/data/recordings/README.md): any change of the commands the program
// sends makes it diverge.
TEST_F(ProgramRun, TheShippedSessionReplays) {
  const fs::path session =
      kSourceDir / "tests" / "data" / "recordings" / "emulated-flash-session.jsonl";
  ASSERT_TRUE(fs::is_regular_file(session)) << "the shipped recording is missing";
  RunRequest request;
  request.environment = {{kTimeScale, "100"}};
  const RunResult r = Run({"--replay", session.string(), "--image", kSample.string(), "--device",
                           "0:0", "--yes", "--json"},
                          request);
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(LineWith(r.error, "Download has been done successfully!"),
            "Download has been done successfully!")
      << Describe(r);
  const auto summary = nlohmann::json::parse(r.output, nullptr, false);
  ASSERT_TRUE(summary.is_object()) << Describe(r);
  EXPECT_EQ(summary["outcome"], "success");
  EXPECT_EQ(summary["drivesFound"], 1);
  EXPECT_EQ(summary["drive"]["revision"], "1.00");
  EXPECT_TRUE(summary["drive"]["model"].get<std::string>().ends_with("3177K")) << r.output;
  EXPECT_EQ(summary["newRevision"], "1.10");
  EXPECT_EQ(summary["replay"]["diverged"], false);
  EXPECT_EQ(summary["replay"]["commandsNotSent"], 0);
}

TEST_F(ProgramRun, UnusableFilesForTheTransportAreUsageErrors) {
  fs::create_directories(dir_ / "folder");
  std::ofstream(dir_ / "not-a-folder") << "x";
  std::ofstream(dir_ / "garbage.jsonl") << "this is no recording\n";
  fs::create_directories(dir_ / "odd-state" / "0-0" / "firmware.bin");
  const struct {
    std::vector<std::string> args;
    const char* named;  // the message names the file
  } cases[] = {
      {{"--emulate", "--list", "--record", "folder"}, "folder"},
      {{"--emulate", "--list", "--record", "missing/dir/r.jsonl"}, "missing/dir/r.jsonl"},
      {{"--replay", "missing.jsonl", "--list"}, "missing.jsonl"},
      {{"--replay", "garbage.jsonl", "--list"}, "garbage.jsonl"},
      {{"--emulate", "--emulate-state", "not-a-folder", "--list"}, "not-a-folder"},
      {{"--emulate", "--emulate-state", "odd-state", "--list"}, "firmware.bin"},
  };
  for (const auto& c : cases) {
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.named << "\n" << Describe(r);
    EXPECT_TRUE(Contains(r.error, c.named)) << r.error;
    EXPECT_EQ(r.output, "") << c.named;
  }
}

}  // namespace
