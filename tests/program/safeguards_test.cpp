// What qtr5-download does to keep the user's files and drive safe: a
// recording never empties a file the run reads, a read-only default image is
// explained as such, and on a terminal the image is read before the question.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program/program_run.h"

namespace {

// ---- --record and the files the run reads ----

TEST_F(ProgramRun, RecordRefusesTheFilesTheRunReads) {
  PutDefaultImage();
  fs::copy_file(kSample, dir_ / "img.hex");
  fs::create_directories(dir_ / "sub");
  fs::create_symlink("img.hex", dir_ / "link.hex");
  const std::string sample = ReadFile(kSample);
  const struct {
    std::vector<std::string> args;
    const char* said;  // what the message names
  } cases[] = {
      {{"--record", "QTR5_ORNA.HEX", "--emulate", "--yes"}, "default image"},
      {{"--record", "./QTR5_ORNA.HEX", "--emulate", "--list"}, "default image"},
      {{"--image", "img.hex", "--record", "img.hex", "--emulate", "--yes"}, "--image"},
      {{"--image", "img.hex", "--record", "sub/../img.hex", "--emulate", "--yes"}, "--image"},
      {{"--image", "img.hex", "--record", "link.hex", "--emulate", "--yes"}, "--image"},
      {{"--image", "link.hex", "--record", "img.hex", "--emulate", "--yes"}, "--image"},
      {{"--image", "new.hex", "--record", "sub/../new.hex", "--emulate", "--yes"}, "--image"},
  };
  for (const auto& c : cases) {
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.args[1] << " " << c.args[3] << "\n" << Describe(r);
    EXPECT_TRUE(Contains(r.error, "--record")) << r.error;
    EXPECT_TRUE(Contains(r.error, c.said)) << r.error;
    EXPECT_EQ(ReadFile(dir_ / "QTR5_ORNA.HEX"), sample);
    EXPECT_EQ(ReadFile(dir_ / "img.hex"), sample);
    EXPECT_FALSE(fs::exists(dir_ / "new.hex"));
  }
  // Another file is recorded to, and the image is flashed as usual.
  const RunResult fine =
      Run({"--image", "img.hex", "--record", "sub/img.hex", "--emulate", "--yes"});
  EXPECT_EQ(fine.status, 0) << Describe(fine);
  EXPECT_GT(fs::file_size(dir_ / "sub" / "img.hex"), 0u);
}

// ---- a default image that cannot be opened for writing ----

// The default image is taken only when it opens for writing; a read-only
// copy must not be explained as a missing one.
TEST_F(ProgramRun, AReadOnlyDefaultImageIsExplainedAsSuch) {
  PutDefaultImage();
  fs::permissions(dir_ / "QTR5_ORNA.HEX",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  RunRequest asUser;
  asUser.unprivileged = true;  // root could open it for writing all the same
  const RunResult r = Run({"--emulate", "--yes"}, asUser);
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_TRUE(Contains(r.error,
                       "QTR5_ORNA.HEX is in the current folder but cannot be opened "
                       "for writing"))
      << r.error;
  EXPECT_TRUE(Contains(r.error, "--image QTR5_ORNA.HEX")) << r.error;
  EXPECT_FALSE(Contains(r.error, "put QTR5_ORNA.HEX in the current folder")) << r.error;

  fs::remove(dir_ / "QTR5_ORNA.HEX");
  const RunResult missing = Run({"--emulate", "--yes"}, asUser);
  EXPECT_EQ(missing.status, 1) << Describe(missing);
  EXPECT_TRUE(Contains(missing.error, "put QTR5_ORNA.HEX in the current folder")) << missing.error;
  EXPECT_FALSE(Contains(missing.error, "for writing")) << missing.error;
}

// ---- on a terminal the image is read before the question ----

class TerminalQuestion : public ProgramRun {
 protected:
  // What --check prints for `file`: its "Check Sum: XXXX" value, or its
  // status text for an image that cannot be built.
  std::string CheckLine(const std::string& file, const std::string& piece) {
    return LineWith(Run({"--check", file}).output, piece);
  }
  RunResult Ask(const std::vector<std::string>& args, const char* answer) {
    RunRequest request;
    request.terminal = true;
    request.dialogue = {{"[y/N]", answer}};
    std::vector<std::string> all{"--emulate", "--emulate-state", "state"};
    all.insert(all.end(), args.begin(), args.end());
    return Run(all, request);
  }
};

TEST_F(TerminalQuestion, NamesTheChecksumOfTheImage) {
  PutDefaultImage();
  const std::string sum = CheckLine("QTR5_ORNA.HEX", "Check Sum: ").substr(11);
  ASSERT_EQ(sum.size(), 4u);
  const RunResult r = Ask({}, "n\n");
  if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
  EXPECT_EQ(r.status, 6) << Describe(r);
  EXPECT_TRUE(Contains(r.output, "Download QTR5_ORNA.HEX (checksum " + sum + ") to ")) << r.output;
  EXPECT_FALSE(Contains(r.output, "holds no firmware")) << r.output;
}

TEST_F(TerminalQuestion, AnImageThatCannotBeReadIsNeverAskedAbout) {
  std::ofstream(dir_ / "damaged.hex") << ":0100000041FF\r\n";  // wrong record checksum
  std::ofstream(dir_ / "high.hex") << ":01FF000041BF\r\n";     // beyond the loadable range
  for (const char* file : {"damaged.hex", "high.hex", "missing.hex"}) {
    const std::string message = CheckLine(file, "");  // the only line: the status text
    ASSERT_NE(message, "") << file;
    const RunResult r = Ask({"--image", file}, "y\n");
    if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.status, 1) << file << "\n" << Describe(r);
    EXPECT_FALSE(Contains(r.output, "[y/N]")) << r.output;
    EXPECT_TRUE(Contains(r.output, message)) << r.output;  // once, on the status line
    EXPECT_TRUE(Contains(LineWith(r.output, "qtr5-download: What to do: "), "not sent"))
        << r.output;
    EXPECT_FALSE(Contains(r.output, "Downloading...")) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin")) << file;
  }
}

TEST_F(TerminalQuestion, AnEmptyImageIsWarnedAboutFirst) {
  std::ofstream(dir_ / "empty.hex") << ":01000000FF00\r\n:00000001FF\r\n";  // data, all 0xFF
  const RunResult r = Ask({"--image", "empty.hex"}, "n\n");
  if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
  EXPECT_EQ(r.status, 6) << Describe(r);
  const std::size_t warning = r.output.find("empty.hex holds no firmware");
  ASSERT_NE(warning, std::string::npos) << r.output;
  EXPECT_TRUE(Contains(LineWith(r.output, "holds no firmware"), "erase the drive's firmware"));
  EXPECT_LT(warning, r.output.find("[y/N]")) << r.output;
  EXPECT_TRUE(Contains(r.output, "(checksum 0000)")) << r.output;  // 65536 x 0xFF
  EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"));
}

// A file that stores no data byte (only text, only empty records) loads as
// all 0xFF: never sent, asked or not; --check fails on it but shows the sum.
TEST_F(TerminalQuestion, AnImageWithoutDataIsNeverFlashed) {
  for (const char* content :
       {":00000001FF\n", "just text\n:00000001FF\n", ":0000000000\r\n:00000001FF\r\n"}) {
    std::ofstream(dir_ / "nodata.hex", std::ios::binary) << content;
    EXPECT_EQ(Run({"--check", "nodata.hex"}).output,
              "Check Sum: 0000\nHEX file holds no firmware data!\n");
    for (const RunResult& r : {Run({"--emulate", "--emulate-state", "state", "--yes", "--json",
                                    "--image", "nodata.hex"}),
                               Ask({"--image", "nodata.hex"}, "y\n")}) {
      EXPECT_EQ(r.status, 1) << Describe(r);
      EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin")) << Describe(r);
    }
  }
}

// An image that lost records (cut short, a ':' lost, a Ctrl-Z between records)
// is refused with the reason, in --check and in --json; one that sets only a
// few bytes is flashed, but said before the question and in --json.
TEST_F(TerminalQuestion, AnImageThatLostDataIsNeverFlashed) {
  const std::string sample = ReadFile(kSample);
  const std::size_t second = sample.find("\n:") + 1;
  const struct {
    std::string content;
    const char* said;  // the reason, or (nullptr) the warning
  } cases[] = {{sample.substr(0, sample.rfind(":00000001FF")), "without an end-of-file record"},
               {sample.substr(0, second) + sample.substr(second + 1), "outside any record"},
               {sample.substr(0, second) + "\x1A" + sample.substr(second), "Ctrl-Z"},
               {":0100000041BE\r\n:00000001FF\r\n", nullptr}};
  for (const auto& c : cases) {
    std::ofstream(dir_ / "fw.hex", std::ios::binary) << c.content;
    const RunResult check = Run({"--check", "fw.hex"});
    const RunResult r =
        Run({"--emulate", "--emulate-state", "state", "--yes", "--json", "--image", "fw.hex"});
    const auto summary = nlohmann::json::parse(r.output, nullptr, false);
    EXPECT_EQ(r.status, c.said ? 1 : 0) << Describe(r);
    EXPECT_EQ(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"), !c.said) << Describe(r);
    if (c.said) {
      EXPECT_EQ(check.output, "HEX file is damaged!\n") << Describe(check);
      EXPECT_TRUE(Contains(check.error, c.said)) << check.error;
      EXPECT_TRUE(Contains(summary.value("reason", ""), c.said)) << r.output;
      continue;
    }
    EXPECT_TRUE(Contains(summary.value("warning", ""), "sets only 1 of the 65280")) << r.output;
    const RunResult asked = Ask({"--image", "fw.hex"}, "n\n");
    EXPECT_LT(asked.output.find("sets only 1 of"), asked.output.find("[y/N]")) << asked.output;
  }
}

// A file replaced or emptied while the question waits is not sent.
TEST_F(TerminalQuestion, AnImageChangedAfterTheQuestionIsNotSent) {
  for (const char* replacement : {"", ":0100000041BE\r\n"}) {
    RunRequest request;
    request.terminal = true;
    request.dialogue = {{"[y/N]", "y\n"}};
    std::ofstream(dir_ / "fw.hex") << ReadFile(kSample);
    request.beforeAnswer = [&](std::size_t) { std::ofstream(dir_ / "fw.hex") << replacement; };
    const RunResult r =
        Run({"--emulate", "--emulate-state", "state", "--image", "fw.hex"}, request);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_FALSE(fs::exists(dir_ / "state" / "0-0" / "firmware.bin")) << Describe(r);
  }
}

// --yes asks nothing: the image is read before the tray is opened, and a
// damaged one ends the run cleanly with nothing sent.
TEST_F(TerminalQuestion, WithYesADamagedImageFailsBeforeTheTray) {
  std::ofstream(dir_ / "damaged.hex") << ":0100000041FF\r\n";
  const RunResult r = Run({"--emulate", "--yes", "--image", "damaged.hex"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_FALSE(Contains(r.output, "Open Tray...")) << r.output;
  EXPECT_TRUE(Contains(r.output, CheckLine("damaged.hex", ""))) << r.output;
  EXPECT_TRUE(Contains(r.error, "was not sent to the drive")) << r.error;
}

}  // namespace

// ---- files that would block the run or never end ----

TEST_F(ProgramRun, FilesThatWouldBlockOrNeverEndAreRefused) {
  const std::string fifo = (dir_ / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    const char* said;
  } cases[] = {
      {{"--record", fifo, "--emulate", "--list"}, "no program reads the pipe"},
      {{"--replay", fifo, "--list"}, "is not a regular file"},
      {{"--replay", "/dev/zero", "--list"}, "is not a regular file"},
  };
  for (const auto& c : cases) {
    RunRequest quick;
    quick.timeoutSeconds = 20;
    const RunResult r = Run(c.args, quick);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << c.args[1] << "\n" << Describe(r);
    EXPECT_TRUE(Contains(r.error, c.said)) << r.error;
  }
}

// Each file is taken for what it is only after it was opened: --record
// replaces only a recording (or an empty file) and never writes into a state
// folder; a state file larger than the drive's is refused by its size; what a
// replayed recording says is printable and marked as replayed.
TEST_F(ProgramRun, FilesAreWhatTheyWereCheckedToBe) {
  fs::copy_file(kSample, dir_ / "fw.hex");
  fs::create_directories(dir_ / "state" / "0-0");
  fs::create_directory_symlink("state", dir_ / "link");
  ASSERT_EQ(Run({"--emulate", "--record", "rec.jsonl", "--list"}).status, 0);
  std::string session = ReadFile(dir_ / "rec.jsonl");
  // Fields added at the ends of the header line and of the first command.
  session.insert(session.find('\n') - 1, R"(,"diagnostics":"\u001b]0;owned\u0007\n)"
                                         R"(Download has been done successfully!")");
  session.insert(session.find('\n', session.find("\"exec\"")) - 1,
                 R"(,"messages":["\u001b[8mhidden"])");
  std::ofstream(dir_ / "rec.jsonl") << session;
  const struct {
    std::function<void()> setUp;
    std::vector<std::string> args;
    int status;
    const char* said;
  } cases[] = {
      {[] {}, {"--emulate", "--record", "fw.hex", "--list"}, 2, "not a recording of this program"},
      {[] {},
       {"--emulate", "--emulate-state", "link/", "--record", "state/r", "--list"},
       2,
       "folder"},
      {[&] {
         std::ofstream(dir_ / "state" / "0-0" / "firmware.bin");
         fs::resize_file(dir_ / "state" / "0-0" / "firmware.bin", 3ull << 30);
       },
       {"--emulate", "--emulate-state", "state", "--list"},
       2,
       "more than the 65536"},
      {[&] { std::ofstream(dir_ / "state" / "0-0" / "revision") << std::string(99, '1'); },
       {"--emulate", "--emulate-state", "state", "--list"},
       2,
       "more than the 16"},
      {[] {}, {"--replay", "rec.jsonl", "--list"}, 0, "replayed: Download has been done"},
      {[] {}, {"--replay", "rec.jsonl", "--list"}, 0, "replayed: \\x1B[8mhidden"},
  };
  for (const auto& c : cases) {
    c.setUp();
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_TRUE(Contains(r.error, c.said)) << Describe(r);
    EXPECT_FALSE(Contains(r.error, "\x1b")) << Describe(r);
    fs::remove(dir_ / "state" / "0-0" / "firmware.bin");
  }
  EXPECT_EQ(ReadFile(dir_ / "fw.hex"), ReadFile(kSample));
  EXPECT_FALSE(fs::exists(dir_ / "state" / "r"));
}

// ---- an emulated drive's state that could not be kept ----

TEST_F(ProgramRun, AStateThatWasNotKeptIsAWarningInTheSummaryToo) {
  fs::copy_file(kSample, dir_ / "img.hex");
  fs::create_directories(dir_ / "state");  // the run's user may read it but not write
  RunRequest asUser;
  asUser.unprivileged = true;
  const RunResult r = Run(
      {"--image", "img.hex", "--emulate", "--emulate-state", "state", "--yes", "--json"}, asUser);
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.error, "the drive's new state was not kept")) << Describe(r);
  const auto summary = nlohmann::json::parse(r.output, nullptr, false);
  ASSERT_TRUE(summary.is_object()) << Describe(r);
  ASSERT_TRUE(summary["warning"].is_string()) << Describe(r);
  EXPECT_TRUE(Contains(summary["warning"], "the drive's new state was not kept"));
}
