// The fixture of the tests that run qtr5-download as its users run it: from
// a folder of their own, with the emulated drives, judged by what it prints,
// its exit status and the firmware the emulated drive kept. Timed waits run
// 20 times faster (QTR5_TIME_SCALE), which the program allows for emulated
// drives only; a test may ask for another factor.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/program/process.h"

namespace fs = std::filesystem;

inline const std::string kProgram = QTR5_DOWNLOAD_PROGRAM;
inline const fs::path kSourceDir = QTR5_SOURCE_DIR;
inline const fs::path kSample = kSourceDir / "samples" / "QTR5_ORNA.HEX";

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The line of `text` that contains `piece`, or "" when none does.
inline std::string LineWith(const std::string& text, const std::string& piece) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.find(piece) != std::string::npos) return line;
  return "";
}

// Everything but the progress lines, whose steps depend on the timing.
inline std::string WithoutProgress(const std::string& text) {
  std::istringstream lines(text);
  std::string kept;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("Progress:", 0) != 0) kept += line + "\n";
  return kept;
}

inline bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

inline std::string Describe(const RunResult& r) {
  return "status " + std::to_string(r.status) + "\n--- stdout\n" + r.output + "--- stderr\n" +
         r.error;
}

class ProgramRun : public testing::Test {
 protected:
  static constexpr const char* kTimeScale = "QTR5_TIME_SCALE";

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
    bool scaled = false;
    for (const auto& [name, value] : request.environment) scaled = scaled || name == kTimeScale;
    if (!scaled) request.environment.emplace_back(kTimeScale, "20");
    RunResult result = RunProcess(program_, request);
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
  std::string program_ = kProgram;  // the program Run starts
};
