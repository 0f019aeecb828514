// qtr5-download as users run it: help, usage errors, --check and --list;
// what it does with output that cannot be written and with hostile device text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program/program_run.h"

namespace {

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

// The user's guide keeps a copy of the help between two markers; it must be
// the program's help as it is now.
TEST_F(ProgramRun, UsersGuideShowsTheCurrentHelp) {
  const std::string readme = ReadFile(kSourceDir / "docs" / "user-guide.md");
  const std::string begin = "<!-- help:begin -->";
  const std::size_t from = readme.find(begin);
  const std::size_t to = readme.find("<!-- help:end -->");
  ASSERT_TRUE(from != std::string::npos && to != std::string::npos && to > from)
      << "docs/user-guide.md must keep the help between <!-- help:begin --> and <!-- help:end -->";
  std::istringstream lines(readme.substr(from + begin.size(), to - from - begin.size()));
  std::string copy;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("```", 0) != 0) copy += line + "\n";
  while (!copy.empty() && copy.front() == '\n') copy.erase(0, 1);
  while (copy.size() > 1 && copy[copy.size() - 2] == '\n') copy.pop_back();
  EXPECT_EQ(copy, Run({"--help"}).output)
      << "docs/user-guide.md's help text is stale: paste the output of qtr5-download --help";
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

// Usage errors on both programs (they share the options): nothing is made,
// typed control bytes come back escaped, and --json gets its summary.
TEST_F(ProgramRun, UsageErrorsOfBothProgramsTouchNothingAndEscapeWhatWasTyped) {
  std::vector<std::string> programs{kProgram};
#ifdef QTR5_DESKTOP_PROGRAM
  programs.push_back(QTR5_DESKTOP_PROGRAM);
#endif
  const std::vector<std::string> cases[] = {{"--record", "--emulate", "--yes"},
                                            {"--image=", "--emulate", "--yes", "--json"},
                                            {"--emulate=0:0=\x1b[2J", "--list", "--json"}};
  for (const std::string& program : programs) {
    for (const auto& args : cases) {
      RunRequest request;
      request.args = args;
      request.workingDirectory = dir_.string();
      request.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
      const RunResult r = RunProcess(program, request);
      EXPECT_EQ(r.status, 2) << Describe(r);
      EXPECT_TRUE(Contains(r.error, args[0].substr(0, 7))) << r.error;
      EXPECT_TRUE(r.error.find('\x1b') == std::string::npos && fs::is_empty(dir_)) << r.error;
      const bool json = args.back() == "--json";
      EXPECT_EQ(Contains(r.output, "{\"status\":2,\"outcome\":\"usage-error\""), json) << r.output;
    }
  }
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

// "--check FILE" alone is answered before the option parser is set up; it
// must say and end exactly as the parsed form "--check=FILE" does.
TEST_F(ProgramRun, TheQuickCheckAnswersAsTheParsedOne) {
  std::ofstream(dir_ / "damaged.hex") << ":0100000001FF\n";
  for (const std::string& file :
       {kSample.string(), std::string("damaged.hex"), std::string("missing.hex")}) {
    const RunResult quick = Run({"--check", file});
    const RunResult parsed = Run({"--check=" + file});
    EXPECT_EQ(quick.status, parsed.status) << file;
    EXPECT_EQ(quick.output, parsed.output) << file;
    EXPECT_EQ(quick.error, parsed.error) << file;
    EXPECT_NE(quick.output + quick.error, "") << file;
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
    // JSON escapes the control characters itself and decodes to the bytes.
    if (args.back() == "--json") {
      EXPECT_TRUE(Contains(nlohmann::json::parse(r.output)["drives"][0]["model"].get<std::string>(),
                           "\x1b[2J\r\n\aX"))
          << r.output;
    } else {
      EXPECT_TRUE(Contains(r.output, "\\x1B[2J\\x0D\\x0A\\x07X")) << args.back() << "\n"
                                                                  << r.output;
    }
  }
}

}  // namespace
