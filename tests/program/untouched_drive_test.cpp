// A run that cannot download sends nothing but the scan's INQUIRY: the
// image, the pinned image and the permission to download are settled before
// the tray is opened, and a drive that is not ready yet is asked again for a
// while and then named, with a status of its own. A dry run sends nothing
// else either, and ends as the real run would before its download command.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "image/sha256.h"
#include "tests/program/program_run.h"

namespace {

// The operation codes of the commands the run sent, from its recording.
std::vector<std::string> SentOperations(const fs::path& recording) {
  std::vector<std::string> sent;
  std::istringstream lines(ReadFile(recording));
  for (std::string line; std::getline(lines, line);) {
    const auto record = nlohmann::json::parse(line, nullptr, false);
    if (record.is_object() && record.value("record", "") == "exec")
      sent.push_back(record["cdb"].get<std::string>().substr(0, 2));
  }
  return sent;
}

TEST_F(ProgramRun, ARunThatCannotDownloadLeavesTheDriveAlone) {
  std::ofstream(dir_ / "damaged.hex") << ":1000000001020304zz\n:00000001FF\n";
  fs::copy_file(kSample, dir_ / "fw.hex");
  const struct {
    std::string layout;
    std::vector<std::string> args;
    int status;
    std::string outcome;
    std::string said;  // on standard error
  } cases[] = {
      {"0:0=drive", {"--yes", "--image", "missing.hex"}, 1, "failed", "Can NOT open HEX file"},
      {"0:0=drive", {"--yes"}, 1, "failed", "No image to download"},
      {"0:0=drive", {"--yes", "--image", "damaged.hex"}, 1, "failed", "damaged.hex"},
      {"0:0=drive",
       {"--yes", "--image", "fw.hex", "--expect-checksum", "0000"},
       1,
       "failed",
       "not the expected image"},
      {"0:0=drive", {"--image", "fw.hex"}, 6, "not-downloaded", "Not downloading without --yes"},
      {"0:0=drive+fault=becoming-ready+delay=60000",
       {"--yes", "--image", "fw.hex"},
       10,
       "not-ready",
       "a drive of the model at 0:0 is not ready yet; try again"},
      {"0:0=drive+fault=pending-sense-inquiry",
       {"--yes", "--image", "fw.hex", "--device", "0:0"},
       10,
       "not-ready",
       "a drive of the model at 0:0 is not ready yet; try again"},
      {"0:3=cdrom+fault=becoming-ready+delay=60000",
       {"--yes", "--image", "fw.hex"},
       10,
       "not-ready",
       "a device at 0:3 is not ready yet; try again"},
      {"0:0=drive+fault=becoming-ready+delay=60000", {"--list"}, 10, "", "is not ready yet"},
      // Ready within the wait: the run goes on as with any drive.
      {"0:0=drive+fault=becoming-ready+delay=3000",
       {"--yes", "--image", "fw.hex"},
       0,
       "success",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout + " " + c.args.front());
    const fs::path recording = dir_ / ("run-" + std::to_string(&c - cases) + ".jsonl");
    std::vector<std::string> args = {"--emulate=" + c.layout, "--record", recording.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (!c.outcome.empty()) args.push_back("--json");
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, c.status) << Describe(r);
    EXPECT_TRUE(Contains(r.error, c.said)) << Describe(r);
    if (!c.outcome.empty()) {
      const auto summary = nlohmann::json::parse(r.output, nullptr, false);
      ASSERT_TRUE(summary.is_object()) << Describe(r);
      EXPECT_EQ(summary["outcome"], c.outcome);
      if (c.status == 10) {
        EXPECT_EQ(summary["reason"], c.said);
      }
    }
    const std::vector<std::string> sent = SentOperations(recording);
    const bool onlyInquiry =
        std::all_of(sent.begin(), sent.end(), [](const std::string& op) { return op == "12"; });
    EXPECT_EQ(onlyInquiry, c.status != 0) << ReadFile(recording);
  }
}

// The dry run against the real run with the same options: status 0 exactly
// where the real run sends the download command (whatever the drive then
// does with it), else the real run's own status; only INQUIRY reaches the
// bus, and --json says it was a dry run.
TEST_F(ProgramRun, ADryRunEndsAsTheRealRunBeforeItsDownloadAndSendsOnlyInquiry) {
  std::ofstream(dir_ / "damaged.hex") << ":1000000001020304zz\n:00000001FF\n";
  const std::string blank = ":01000000FF00\n:00000001FF\n";  // every byte 0xFF
  std::ofstream(dir_ / "blank.hex") << blank;
  fs::copy_file(kSample, dir_ / "fw.hex");
  const std::string blankSha =
      Sha256Hex(reinterpret_cast<const std::uint8_t*>(blank.data()), blank.size());
  const struct {
    std::string layout;
    std::vector<std::string> args;  // after --image FILE
    int status;                     // of the dry run
    int realStatus;
  } cases[] = {
      {"0:0=drive", {"fw.hex", "--yes"}, 0, 0},
      {"0:0=drive+fault=refuse-download", {"fw.hex", "--yes"}, 0, 11},
      {"0:0=drive", {"damaged.hex", "--yes"}, 1, 1},
      {"0:0=drive", {"blank.hex", "--yes"}, 1, 1},
      {"0:0=drive", {"blank.hex", "--yes", "--expect-sha256", blankSha}, 0, 0},
      {"0:0=drive", {"fw.hex", "--yes", "--expect-sha256", std::string(64, '0')}, 1, 1},
      {"0:0=drive", {"fw.hex"}, 6, 6},
      {"0:0=drive,0:1=drive", {"fw.hex", "--yes"}, 5, 5},
      {"0:0=drive,0:1=drive", {"fw.hex", "--yes", "--device", "0:1"}, 0, 0},
      {"0:0=cdrom", {"fw.hex", "--yes"}, 3, 3},
      {"denied", {"fw.hex", "--yes"}, 13, 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(&c - cases) + " " + c.layout);
    std::vector<std::string> args = {"--emulate=" + c.layout, "--json", "--image"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(Run(args).status, c.realStatus);
    const fs::path recording = dir_ / "dry.jsonl";
    args.insert(args.end(), {"--dry-run", "--record", recording.string()});
    const RunResult dry = Run(args);
    EXPECT_EQ(dry.status, c.status) << Describe(dry);
    EXPECT_TRUE(Contains(dry.output, "\"dryRun\":true")) << dry.output;
    EXPECT_EQ(Contains(dry.error, "Dry run: would download " + c.args[0]), c.status == 0);
    for (const std::string& op : SentOperations(recording)) EXPECT_EQ(op, "12");
  }
}

}  // namespace
