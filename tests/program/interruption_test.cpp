// Ctrl-C, SIGTERM and every other signal to stop during a run: before the download the program
// ends with nothing sent; from the download command on, the first signal
// stops the waits and the program says that the drive took the image (and
// may still be reprogramming itself); a command the drive holds is waited
// for and the signal acknowledged at once; a second one ends the run at
// once, saying what the drive may hold.
#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program/program_run.h"

namespace {

TEST_F(ProgramRun, ASignalNeverLeavesTheUserInTheDark) {
  PutDefaultImage();
  struct Case {
    const char* phase;
    std::string layout;
    std::vector<RunRequest::Signal> signals;
    bool driveTookImage;
    const char* scale = "4";
    // Said on standard error as well (for a held command: at once).
    const char* told = "Interrupted after the drive took the image";
  };
  std::vector<Case> cases = {
      {"before the download (the tray)",
       "0:0=drive+fault=slow-tray+delay=3000",
       {{"Open Tray...", SIGTERM}},
       false},
      {"the progress display", "0:0=drive", {{"Progress: 10%", SIGINT}}, true},
      {"the settle delay and verification",
       "0:0=drive+busy=600000",
       {{"Progress: 90%", SIGHUP, 400}},
       true},
      {"a second signal",
       "0:0=drive",
       {{"Progress: 10%", SIGINT}, {"Progress: 10%", SIGTERM}},
       true},
      {"a download command the drive holds",
       "0:0=drive+fault=slow-download+delay=4000",
       {{"Downloading...", SIGINT, 200}},
       true,
       "4",
       "interrupted: the drive is still working on the download command; waiting at most"},
      {"a check the drive holds to the window's end",
       "0:0=drive+fault=hang-after-download",
       {{"Progress: 90%", SIGTERM, 300}},
       true,
       // The window lasts 7.5 s: time enough for the signal on a loaded machine.
       "40",
       "interrupted: the drive has not yet answered the check after the download; waiting"},
      {"a second signal during the download command",
       "0:0=drive+fault=slow-download+delay=8000",
       {{"Downloading...", SIGINT, 200}, {"Downloading...", SIGTERM, 400}},
       true,
       "4",
       "interrupted before the download command ended: the drive may be writing the image"},
  };
  // Every other signal that would end the program is a request to stop too.
  for (const int signal : {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,
                           SIGPWR, SIGSTKFLT, SIGRTMIN, SIGRTMAX}) {
    cases.push_back(cases[4]);
    cases.back().layout = "0:0=drive+fault=slow-download+delay=1500";
    cases.back().signals[0] = {"Downloading...", signal, 100};
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.phase) + ", signal " + std::to_string(c.signals[0].number));
    const fs::path state = dir_ / ("state-" + std::to_string(&c - cases.data()));
    RunRequest request;
    request.environment = {{kTimeScale, c.scale}};
    request.signals = c.signals;
    const RunResult r = Run(
        {"--emulate=" + c.layout, "--emulate-state", state.string(), "--yes", "--json"}, request);
    EXPECT_EQ(r.status, 8) << Describe(r);
    EXPECT_EQ(fs::exists(state / "0-0" / "firmware.bin"), c.driveTookImage) << Describe(r);
    EXPECT_FALSE(Contains(r.error, "New F/W Version")) << Describe(r);
    if (c.signals[0].after == "Open Tray...") {
      EXPECT_FALSE(Contains(r.error, "Downloading...")) << Describe(r);
      EXPECT_TRUE(Contains(r.error, "nothing was sent to the drive")) << Describe(r);
      continue;
    }
    EXPECT_TRUE(Contains(r.error, c.told)) << Describe(r);
    EXPECT_TRUE(Contains(r.error, "'qtr5-download --list'")) << Describe(r);
    if (c.signals.size() > 1) continue;  // ended at once: no summary
    const auto summary = nlohmann::json::parse(r.output, nullptr, false);
    ASSERT_TRUE(summary.is_object()) << Describe(r);
    EXPECT_EQ(summary["outcome"], "interrupted");
    EXPECT_EQ(summary["status"], 8);
    EXPECT_EQ(summary["driveTookImage"], true);
    EXPECT_TRUE(summary["warning"].is_string());
    // What the run had established before the signal is kept.
    EXPECT_EQ(summary["drive"]["adapter"], 0) << r.output;
    EXPECT_EQ(summary["drive"]["target"], 0) << r.output;
    EXPECT_EQ(summary["drive"]["revision"], "1.00") << r.output;
    EXPECT_EQ(summary["image"], "QTR5_ORNA.HEX") << r.output;
    EXPECT_EQ(summary["checksum"], "CE78") << r.output;
    EXPECT_EQ(summary["tray"]["opened"], true) << r.output;
  }
}

}  // namespace
