// qtr5-download run as its users run it: from a folder of their own, with
// the emulated drives, and judged by what it prints, its exit status and the
// firmware the emulated drive kept. Timed waits run 20 times faster
// (QTR5_TIME_SCALE), which the program allows for emulated drives only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/process.h"

namespace fs = std::filesystem;

namespace {

const std::string kProgram = QTR5_DOWNLOAD_PROGRAM;
const fs::path kSourceDir = QTR5_SOURCE_DIR;
const fs::path kSample = kSourceDir / "samples" / "QTR5_ORNA.HEX";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The line of `text` that contains `piece`, or "" when none does.
std::string LineWith(const std::string& text, const std::string& piece) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.find(piece) != std::string::npos) return line;
  return "";
}

std::string WithoutProgress(const std::string& text) {
  std::istringstream lines(text);
  std::string kept;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("Progress:", 0) != 0) kept += line + "\n";
  return kept;
}

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

class ProgramRun : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(testing::TempDir()) / ("qtr5-cli-" + std::string(info->test_suite_name()) +
                                           "-" + info->name() + "-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  RunResult Run(std::vector<std::string> args, RunRequest request = {}) {
    request.args = std::move(args);
    request.workingDirectory = dir_.string();
    request.environment.emplace_back("QTR5_TIME_SCALE", "20");
    RunResult result = RunProcess(kProgram, request);
    // Only a pseudo-terminal may be missing (a restricted container).
    EXPECT_TRUE(result.started || request.terminal) << "the program could not be started";
    EXPECT_FALSE(result.timedOut) << "the program did not end";
    return result;
  }

  // The sample image under the default name, as a user would put it there.
  void PutDefaultImage() { fs::copy_file(kSample, dir_ / "QTR5_ORNA.HEX"); }

  // The 65536 bytes the sample builds, as --check --save-image writes them.
  std::string SampleImage() {
    const fs::path out = dir_ / "expected.bin";
    const RunResult r = Run({"--check", kSample.string(), "--save-image", out.string()});
    EXPECT_EQ(r.status, 0) << r.output << r.error;
    return ReadFile(out);
  }

  fs::path dir_;
};

std::string Describe(const RunResult& r) {
  return "status " + std::to_string(r.status) + "\n--- stdout\n" + r.output + "--- stderr\n" +
         r.error;
}

// ---- help, version, usage ----

TEST_F(ProgramRun, HelpAndVersionGoToStandardOutput) {
  const RunResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.error, "");
  for (const char* option : {"--check FILE", "--save-image OUT", "--image FILE", "--yes",
                             "--device A:T", "--list", "--json", "--emulate[=LAYOUT]",
                             "--emulate-state DIR", "--record FILE", "--replay FILE", "--version"})
    EXPECT_TRUE(Contains(help.output, option)) << option;
  const RunResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "QTR5 (XPM-3177K) Download Utility 1.04\n");
}

// The README keeps a copy of the help between two markers; it must be the
// program's help as it is now.
TEST_F(ProgramRun, ReadmeShowsTheCurrentHelp) {
  const std::string readme = ReadFile(kSourceDir / "README.md");
  const std::string begin = "<!-- help:begin -->";
  const std::size_t from = readme.find(begin);
  const std::size_t to = readme.find("<!-- help:end -->");
  if (from == std::string::npos || to == std::string::npos || to < from)
    GTEST_SKIP() << "README.md has no help markers yet";
  std::istringstream lines(readme.substr(from + begin.size(), to - from - begin.size()));
  std::string copy;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("```", 0) != 0) copy += line + "\n";
  while (!copy.empty() && copy.front() == '\n') copy.erase(0, 1);
  while (copy.size() > 1 && copy[copy.size() - 2] == '\n') copy.pop_back();
  EXPECT_EQ(copy, Run({"--help"}).output)
      << "README.md's help text is stale: paste the output of qtr5-download --help";
}

TEST_F(ProgramRun, UsageErrorsExplainOnStandardErrorAndEndWithStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},
      {"--device", "1:9"},
      {"--emulate=0:0=toaster", "--list"},
      {"--emulate=0:9=drive", "--list"},
      {"--emulate=empty,0:0=drive", "--list"},
      {"--check", "x.hex", "--emulate"},
      {"--replay", "r.jsonl", "--emulate"},
      {"--save-image", "x.bin"},
  };
  for (const auto& args : cases) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 2) << args[0] << "\n" << Describe(r);
    EXPECT_EQ(r.output, "") << args[0];
    EXPECT_TRUE(Contains(r.error, "qtr5-download: ")) << Describe(r);
  }
  // A malformed layout is reported with the emulator's own explanation.
  const RunResult layout = Run({"--emulate=0:0=toaster", "--list"});
  EXPECT_TRUE(Contains(layout.error, "toaster")) << layout.error;
}

// ---- --check ----

TEST_F(ProgramRun, CheckReportsTheChecksumOfAGoodImage) {
  const RunResult r = Run({"--check", kSample.string()});
  ASSERT_EQ(r.status, 0) << Describe(r);
  const std::string sum = LineWith(r.output, "Check Sum: ");
  ASSERT_EQ(sum.size(), std::string("Check Sum: XXXX").size()) << r.output;
  EXPECT_EQ(sum.find_first_not_of("0123456789ABCDEF", 11), std::string::npos) << sum;
  EXPECT_TRUE(Contains(r.output, "Check Sum: ") && Contains(r.output, "Reading is success!\n"));
  EXPECT_LT(r.output.find("Check Sum"), r.output.find("Reading is success!"));
}

TEST_F(ProgramRun, CheckOfABadOrMissingFileFailsAndSavesNothing) {
  std::ofstream(dir_ / "damaged.hex") << ":10000000000102030405060708090A0B0C0D0E0F00\r\n";
  std::ofstream(dir_ / "keep.bin") << "old contents";
  const struct {
    std::string file;
    const char* message;
  } cases[] = {{"damaged.hex", "HEX file is damaged!"},
               {"missing.hex", "Can NOT open HEX file..."}};
  for (const auto& c : cases) {
    for (const char* save : {"new.bin", "keep.bin"}) {
      const RunResult r = Run({"--check", c.file, "--save-image", save});
      EXPECT_EQ(r.status, 1) << c.file << "\n" << Describe(r);
      EXPECT_EQ(r.output, std::string(c.message) + "\n") << c.file;
    }
    EXPECT_FALSE(fs::exists(dir_ / "new.bin")) << c.file;
    EXPECT_EQ(ReadFile(dir_ / "keep.bin"), "old contents") << c.file;
  }
}

TEST_F(ProgramRun, SavedImageIsTheWholeImageWithTheReportedChecksum) {
  const RunResult r = Run({"--check", kSample.string(), "--save-image", "image.bin"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  const std::string image = ReadFile(dir_ / "image.bin");
  ASSERT_EQ(image.size(), 65536u);
  unsigned sum = 0;
  for (unsigned char byte : image) sum += byte;
  char expected[32];
  std::snprintf(expected, sizeof expected, "Check Sum: %04X", sum & 0xFFFF);
  EXPECT_TRUE(Contains(r.output, expected)) << r.output;
  EXPECT_EQ(image.substr(0xFF00), std::string(256, '\xFF'));  // never loadable
}

// ---- --list ----

struct ListCase {
  const char* layout;
  int status;
  std::vector<std::string> rows;  // "adapter target revision" of each listed drive
};

class ListRun : public ProgramRun, public testing::WithParamInterface<ListCase> {};

TEST_P(ListRun, ListsTheAcceptedDrivesInSweepOrder) {
  const ListCase& c = GetParam();
  const RunResult r = Run({std::string("--emulate=") + c.layout, "--list", "--json"});
  ASSERT_EQ(r.status, c.status) << Describe(r);
  const nlohmann::json list = nlohmann::json::parse(r.output);
  std::vector<std::string> rows;
  for (const auto& drive : list["drives"]) {
    EXPECT_TRUE(Contains(drive["model"].get<std::string>(), "3177K")) << drive.dump();
    rows.push_back(std::to_string(drive["adapter"].get<int>()) + " " +
                   std::to_string(drive["target"].get<int>()) + " " +
                   drive["revision"].get<std::string>());
  }
  EXPECT_EQ(rows, c.rows) << r.output;
  if (c.rows.empty()) {
    EXPECT_TRUE(Contains(r.error, "No XPM-3177K drive found")) << r.error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ListRun,
    testing::Values(
        ListCase{"", 0, {"0 0 1.00"}}, ListCase{"0:0=cdrom,0:3=disk,1:5=drive", 0, {"1 5 1.00"}},
        ListCase{"1:2=drive+rev=2.0,0:6=drive,0:1=q1cd,0:2=disk3177k", 0, {"0 6 1.00", "1 2 2.0"}},
        ListCase{"0:0=drive+fault=sense-inquiry,0:1=drive", 0, {"0 1 1.00"}},
        ListCase{"empty", 3, {}}, ListCase{"absent", 3, {}},
        ListCase{"0:0=cdrom,0:1=disk", 3, {}}));

TEST_F(ProgramRun, ListShowsATableAndNeverOpensATray) {
  const RunResult r = Run({"--emulate=0:0=cdrom,1:5=drive+rev=1.0", "--list"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.output, "Adapter  Target  Model")) << r.output;
  const std::string row = LineWith(r.output, "3177K");
  EXPECT_EQ(row.rfind("1        5       ", 0), 0u) << row;
  EXPECT_TRUE(Contains(row, " 1.0")) << row;
  EXPECT_FALSE(Contains(r.output, "Open Tray")) << r.output;
}

TEST_F(ProgramRun, ListOfMoreDrivesThanTheTableHoldsSaysSo) {
  const RunResult r =
      Run({"--emulate=0:0=drive,0:1=drive,0:2=drive,0:3=drive,0:4=drive,0:5=drive,1:0=drive",
           "--list", "--json"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  const nlohmann::json list = nlohmann::json::parse(r.output);
  EXPECT_EQ(list["drives"].size(), 5u);
  EXPECT_EQ(list["drivesFound"], 7);
  EXPECT_TRUE(Contains(r.error, "2 more drive(s)")) << r.error;
}

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
      {{"--emulate=0:0=drive+fault=refuse-download", "--yes"}, true, "Download has been failed!"},
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
  EXPECT_TRUE(Contains(r.output, "Ready to Download")) << r.output;
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
  EXPECT_TRUE(Contains(declined.output, "Download QTR5_ORNA.HEX to ")) << declined.output;
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
  EXPECT_TRUE(Contains(r.output, "Download other.hex to ")) << r.output;
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
  EXPECT_EQ(diverged.status, 1) << Describe(diverged);
  EXPECT_TRUE(Contains(diverged.output, "Download has been failed!")) << diverged.output;
  EXPECT_NE(diverged.error, "");
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

// A list or a check that nobody received did not succeed.
TEST_F(ProgramRun, OutputThatCannotBeWrittenIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  RunRequest full;
  full.outputFile = "/dev/full";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--emulate", "--list"},
        std::vector<std::string>{"--check", kSample.string()}}) {
    const RunResult r = Run(args, full);
    EXPECT_EQ(r.status, 1) << args[0] << "\n" << Describe(r);
    EXPECT_NE(r.error, "") << args[0];
  }
}

// Text from a device reaches the terminal only with its control characters
// made harmless. The device here is a recorded one whose vendor field was
// changed to clear the screen and fake a line of its own.
TEST_F(ProgramRun, DeviceTextCannotControlTheTerminal) {
  const RunResult recorded = Run({"--emulate", "--list", "--record", "session.jsonl"});
  ASSERT_EQ(recorded.status, 0) << Describe(recorded);
  std::ifstream in(dir_ / "session.jsonl");
  std::ofstream out(dir_ / "hostile.jsonl");
  int changed = 0;
  for (std::string line; std::getline(in, line);) {
    nlohmann::ordered_json record = nlohmann::ordered_json::parse(line);
    if (record["record"] == "exec" && record["target"] == 0 && record["ha"] == 0) {
      std::string data = record["data_in"];
      // Bytes 8 to 15, the vendor: ESC [ 2 J CR LF BEL 'X'.
      data.replace(16, 16, "1b5b324a0d0a0758");
      record["data_in"] = data;
      ++changed;
    }
    out << record.dump() << "\n";
  }
  out.close();
  ASSERT_EQ(changed, 1);

  PutDefaultImage();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--list"}, std::vector<std::string>{"--list", "--json"},
        std::vector<std::string>{"--yes"}}) {
    std::vector<std::string> all{"--replay", "hostile.jsonl"};
    all.insert(all.end(), args.begin(), args.end());
    const RunResult r = Run(all);
    for (char c : r.output) {
      const auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F))
          << args.back() << ": byte " << static_cast<int>(byte) << " in\n"
          << r.output;
    }
    const std::string shown =
        args.back() == "--json"
            ? nlohmann::json::parse(r.output)["drives"][0]["model"].get<std::string>()
            : r.output;
    EXPECT_TRUE(Contains(shown, "\\x1B[2J\\x0D\\x0A\\x07X")) << args.back() << "\n" << r.output;
  }
}

}  // namespace
