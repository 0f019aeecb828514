// What a script reads: every run that ends by itself or by a signal gives
// exactly one --json summary, an exit status that says what happened, and
// an output that never reached its reader is never a success.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program/program_run.h"

namespace {

TEST_F(ProgramRun, EveryEndGivesOneAnswerAScriptCanRead) {
  PutDefaultImage();
  fs::copy_file(kSample, dir_ / "read-only.bin");
  chmod((dir_ / "read-only.bin").c_str(), 0444);
  std::ofstream(dir_ / "cut.hex") << ":0400000001020304F2\n:04000400FF";
  const std::string desktop =
#ifdef QTR5_DESKTOP_PROGRAM
      QTR5_DESKTOP_PROGRAM;
#else
      "";
#endif
  const std::vector<std::pair<std::string, std::string>> noDisplay = {
      {"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}, {"DISPLAY", ""}};
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string outcome;  // of the one summary; "" when none is printed
    std::vector<RunRequest::Signal> signals = {};
    std::string outputFile = {};
    bool onDesktop = false;
    std::vector<std::pair<std::string, std::string>> environment = {};
    bool readerGone = false;
  };
  const Case cases[] = {
      {{"--emulate", "--device", "0:0:0:0", "--yes", "--json"}, 3, "no-drive"},
      {{"--emulate", "--device", "sg0", "--yes", "--json"}, 3, "no-drive"},
      {{"--emulate=0:0=drive+fault=sense-inquiry", "--yes", "--json"}, 12, "not-answering"},
      {{"--emulate=0:0=drive+fault=refuse-download", "--yes", "--json"}, 11, "incomplete"},
      {{"--emulate=0:0=drive+fault=slow-tray+delay=3000", "--yes", "--json"},
       8,
       "interrupted",
       {{"Open Tray...", SIGINT}}},
      {{"--emulate=0:0=drive+fault=hang-inquiry", "--list", "--json"},
       8,
       "interrupted",
       {{"", SIGTERM, 1000}}},
      {{"--emulate=0:0=drive+fault=hang-inquiry", "--list"}, 8, "", {{"", SIGTERM, 1000}}},
      {{"--emulate=0:0=drive+fault=hang-inquiry", "--list"},
       8,
       "",
       {{"", SIGQUIT, 1000}},
       "",
       true},
      {{"--check", kSample.string(), "--json"}, 0, "success"},
      {{"--check", "cut.hex", "--json"}, 1, "failed"},
      {{"--check", kSample.string(), "--save-image", "read-only.bin"}, 1, ""},
      {{"--version"}, 1, "", {}, "/dev/full"},
      {{"--help"}, 1, "", {}, "/dev/full"},
      {{"--emulate", "--yes", "--json"}, 1, "", {}, "/dev/full"},
      {{"--help"}, 1, "", {}, "", false, {}, true},
      {{"--emulate", "--list"}, 1, "", {}, "", true, {}, true},
      {{"--emulate", "--yes", "--json"},
       0,
       "success",
       {},
       "",
       true,
       {{"QT_QPA_PLATFORM", "offscreen"}}},
      {{"--emulate=denied", "--yes", "--json"}, 13, "no-access"},
      {{"--emulate=denied", "--list"}, 13, ""},
      {{"--emulate", "--yes", "--json"}, 4, "internal-failure", {}, "", true, noDisplay},
      {{"--emulate", "--yes", "--json"},
       4,
       "internal-failure",
       {},
       "",
       true,
       {{"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":97"}}},
  };
  for (const Case& c : cases) {
    if (c.onDesktop && desktop.empty()) continue;
    SCOPED_TRACE(c.args.front() + " " + c.args.back() + (c.onDesktop ? " (desktop)" : ""));
    RunRequest request;
    request.args = c.args;
    request.workingDirectory = dir_.string();
    request.environment = c.environment;
    request.environment.emplace_back(kTimeScale, "4");
    request.signals = c.signals;
    request.outputFile = c.outputFile;
    request.readerGone = c.readerGone;
    request.timeoutSeconds = 30;
    const RunResult r = RunProcess(c.onDesktop ? desktop : kProgram, request);
    EXPECT_FALSE(r.timedOut) << Describe(r);
    EXPECT_EQ(r.status, c.status) << Describe(r);
    if (c.status != 0) {
      EXPECT_FALSE(r.error.empty()) << "the reason is told";
    }
    const std::string name = c.onDesktop ? "qtr5-download-gui" : "qtr5-download";
    EXPECT_TRUE(c.status != 8 || Contains(r.error, name + ": interrupted")) << "said by who got it";
    if (c.outcome.empty()) continue;
    const auto summary = nlohmann::json::parse(r.output, nullptr, false);
    ASSERT_TRUE(summary.is_object()) << "exactly one object\n" << Describe(r);
    EXPECT_EQ(summary["status"], c.status);
    EXPECT_EQ(summary["outcome"], c.outcome);
    if (c.args.front() == "--check") {
      EXPECT_TRUE(summary["dataBytes"].is_number());
      EXPECT_EQ(summary["reason"].is_null(), c.status == 0) << r.output;
      if (c.status == 0) {
        EXPECT_GT(summary["dataBytes"], 0);
        EXPECT_EQ(summary["checksum"], "CE78");
        EXPECT_EQ(summary["imageSha256"].get<std::string>().size(), 64u);
      }
    }
  }
  EXPECT_EQ(ReadFile(dir_ / "read-only.bin"), ReadFile(kSample)) << "a read-only file is kept";
}

}  // namespace
