// What the terminal program prints, byte for byte, for a matrix of runs: the
// texts of standard output and standard error (or of the terminal's screen),
// and the exit status, against the transcripts kept in tests/data/golden/.
// Timing moves only the progress steps: a run of progress lines is kept as
// its first line and a mark, and a redrawn bar as whether it was finished.
//
// QTR5_GOLDEN_UPDATE=1 writes the transcripts anew from this build instead
// of comparing; the difference is then read in review.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/program/program_run.h"

namespace {

const fs::path kGoldenDir = kSourceDir / "tests" / "data" / "golden";

enum class Image { kNone, kSample, kDamaged };

struct GoldenCase {
  std::string name;
  std::vector<std::string> args;
  Image image = Image::kSample;
  bool terminal = false;
  std::vector<std::pair<std::string, std::string>> dialogue = {};
  std::vector<RunRequest::Signal> signals = {};
  bool desktop = false;  // the desktop program (with --yes) instead of the terminal's
  const char* timeScale = "20";
};

bool IsProgressLine(const std::string& line) {
  return line.rfind("Progress: ", 0) == 0;
}

// A run of "Progress: N%" lines as its first line and a mark: which steps
// follow depends on the timing.
std::string SteadyLines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool more = IsProgressLine(lines[i]) && i > 0 && IsProgressLine(lines[i - 1]);
    if (!more) {
      out += lines[i] + "\n";
    } else if (i + 1 == lines.size() || !IsProgressLine(lines[i + 1])) {
      out += "Progress: (more steps)\n";
    }
  }
  if (!text.empty() && text.back() != '\n' && !out.empty()) out.pop_back();
  return out;
}

// What a terminal shows of `bytes`: a carriage return starts the line again
// and what follows overwrites it, so a redrawn bar leaves its last drawing.
// The bar's percent before the end depends on the timing: a line that ends a
// bar keeps only whether it reached 100%.
std::string Screen(const std::string& bytes) {
  std::vector<std::string> rows(1);
  std::size_t column = 0;
  for (const char c : bytes) {
    if (c == '\n') {
      rows.emplace_back();
      column = 0;
    } else if (c == '\r') {
      column = 0;
    } else {
      std::string& row = rows.back();
      if (column < row.size()) {
        row[column] = c;
      } else {
        row += c;
      }
      ++column;
    }
  }
  std::string out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string row = rows[i];
    while (!row.empty() && row.back() == ' ') row.pop_back();
    if (row.rfind('[', 0) == 0 && row.find(']') != std::string::npos &&
        row.find("100%") == std::string::npos)
      row = "[progress bar, unfinished]";
    out += row;
    if (i + 1 < rows.size()) out += "\n";
  }
  return out;
}

// Without what the runtime adds of its own: the Qt platform plugin of a
// display-less run, and the address sanitizer's warning when a signal ends
// the program from another thread (sanitizer builds run these tests too).
std::string WithoutPlatformNotes(const std::string& text) {
  std::istringstream in(text);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    const bool note =
        line.rfind("This plugin does not support", 0) == 0 ||
        (line.rfind("==", 0) == 0 && line.find("==WARNING: ASan") != std::string::npos) ||
        line == "False positive error reports may follow" ||
        line.rfind("For details see https://github.com/google/sanitizers/", 0) == 0;
    if (!note) kept += line + "\n";
  }
  if (!text.empty() && text.back() != '\n' && !kept.empty()) kept.pop_back();
  return kept;
}

std::string Transcript(const GoldenCase& c, RunResult r) {
  r.output = WithoutPlatformNotes(r.output);
  r.error = WithoutPlatformNotes(r.error);
  std::string text = "status: " + std::to_string(r.status) + "\n";
  if (c.terminal) return text + "--- screen\n" + SteadyLines(Screen(r.output));
  return text + "--- stdout\n" + SteadyLines(r.output) + "--- stderr\n" + SteadyLines(r.error);
}

// The case's name in test output, instead of its bytes.
void PrintTo(const GoldenCase& c, std::ostream* out) {
  *out << c.name;
}

class Golden : public ProgramRun, public testing::WithParamInterface<GoldenCase> {};

TEST_P(Golden, TranscriptIsTheKeptOne) {
  const GoldenCase& c = GetParam();
  if (c.image == Image::kSample) PutDefaultImage();
  if (c.image == Image::kDamaged) std::ofstream(dir_ / "QTR5_ORNA.HEX") << ":0100000041FF\r\n";
  RunRequest request;
  request.terminal = c.terminal;
  request.dialogue = c.dialogue;
  request.signals = c.signals;
  request.environment.emplace_back("QTR5_TIME_SCALE", c.timeScale);
  if (c.desktop) {
#ifdef QTR5_DESKTOP_PROGRAM
    fs::create_directories(dir_ / "runtime");
    fs::permissions(dir_ / "runtime", fs::perms::owner_all);
    request.environment.emplace_back("QT_QPA_PLATFORM", "offscreen");
    request.environment.emplace_back("XDG_RUNTIME_DIR", (dir_ / "runtime").string());
    program_ = QTR5_DESKTOP_PROGRAM;
#else
    GTEST_SKIP() << "no desktop program in this build";
#endif
  }
  const RunResult r = Run(c.args, request);
  if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
  const std::string got = Transcript(c, r);
  const fs::path kept = kGoldenDir / (c.name + ".txt");
  const char* update = std::getenv("QTR5_GOLDEN_UPDATE");
  if (update != nullptr && std::string(update) == "1") {
    fs::create_directories(kGoldenDir);
    std::ofstream(kept, std::ios::binary) << got;
    return;
  }
  ASSERT_TRUE(fs::exists(kept)) << kept << " is missing; this run printed:\n" << got;
  EXPECT_EQ(ReadFile(kept), got) << c.name;
}

std::vector<GoldenCase> Cases() {
  std::vector<GoldenCase> cases = {
      {"success", {"--emulate", "--yes"}},
      {"damaged_image", {"--emulate", "--yes"}, Image::kDamaged},
      {"no_image", {"--emulate", "--yes"}, Image::kNone},
      {"no_drive", {"--emulate=0:0=cdrom", "--yes"}},
      {"no_adapter", {"--emulate=absent", "--yes"}},
      {"two_drives_refused", {"--emulate=0:0=drive,1:3=drive", "--yes"}},
      {"wrong_device", {"--emulate=0:0=drive,1:3=drive", "--device", "0:3", "--yes"}},
      {"not_ready", {"--emulate=0:0=drive+fault=becoming-ready+delay=60000", "--yes"}},
      {"refused_download", {"--emulate=0:0=drive+fault=refuse-download", "--yes"}},
      {"unconfirmed", {"--emulate=0:0=drive+fault=hang-after-download", "--yes"}},
      {"unconfirmed_pinned", {"--emulate", "--yes", "--expect-checksum", "0000"}},
      {"not_asked_without_terminal", {"--emulate"}},
      {"interrupted",
       {"--emulate=0:0=drive+busy=600000", "--yes"},
       Image::kSample,
       false,
       {},
       {{"Downloading...", SIGINT, 100}}},
      {"interrupted_before_tray",
       {"--emulate=0:0=drive+fault=slow-tray+delay=3000", "--yes"},
       Image::kSample,
       false,
       {},
       {{"Open Tray...", SIGTERM}},
       false,
       "1"},  // the tray takes 3 s: the signal always comes first
      {"question_yes", {"--emulate"}, Image::kSample, true, {{"[y/N]", "y\n"}}},
      {"question_no", {"--emulate"}, Image::kSample, true, {{"[y/N]", "n\n"}}},
      {"choice_of_two",
       {"--emulate=0:0=drive,1:3=drive"},
       Image::kSample,
       true,
       {{"Device number (1-2):", "2\n"}, {"[y/N]", "y\n"}}},
      {"choice_ended",
       {"--emulate=0:0=drive,1:3=drive"},
       Image::kSample,
       true,
       {{"(1-2):", "\x04"}}},
      {"image_prompt", {"--emulate"}, Image::kNone, true, {{"HEX", "\x04"}}},
  };
  // The desktop program with --yes: what it prints, and (on a terminal,
  // where a failure does not wait for its box) how it ends.
  for (GoldenCase desktop : std::vector<GoldenCase>{
           {"success", {"--emulate", "--yes"}},
           {"damaged_image", {"--emulate", "--yes"}, Image::kDamaged, true},
           {"no_drive", {"--emulate=0:0=cdrom", "--yes"}, Image::kSample, true},
           {"two_drives_refused", {"--emulate=0:0=drive,1:3=drive", "--yes"}, Image::kSample, true},
           {"refused_download",
            {"--emulate=0:0=drive+fault=refuse-download", "--yes"},
            Image::kSample,
            true},
           // A failure with nobody at a terminal ends as well (a script's run).
           {"refused_download_piped", {"--emulate=0:0=drive+fault=refuse-download", "--yes"}},
       }) {
    desktop.name = "desktop_" + desktop.name;
    desktop.desktop = true;
    cases.push_back(desktop);
  }
  // The same runs with the summary a script reads.
  const std::size_t plain = cases.size();
  for (std::size_t i = 0; i < plain; ++i) {
    if (cases[i].terminal) continue;
    GoldenCase json = cases[i];
    json.args.push_back("--json");
    json.name += "_json";
    cases.push_back(json);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Runs, Golden, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<GoldenCase>& info) {
                           return info.param.name;
                         });

}  // namespace
