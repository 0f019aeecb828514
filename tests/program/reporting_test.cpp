// What qtr5-download reports when a run goes wrong in a way that matters to
// the user: a failed download with its reason, a replay that left its
// recording, device text in the JSON output, and a pinned image that differs.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "image/sha256.h"
#include "tests/program/program_run.h"
#include "tests/support/hex_text.h"

namespace {

// ---- a download that failed: why, and what to do next ----

// The drive may be reprogramming itself: the user must hear that it holds
// the new image, or soon will, and must not switch the machine off. A drive
// that refused the download says why, on every transport alike.
TEST_F(ProgramRun, AFailedDownloadSaysWhyAndWhatToDoNext) {
  PutDefaultImage();
  // A drive that never answers again is waited for as long as a command may
  // take; the scale of 1000 makes that about a second.
  const struct {
    const char* layout;
    bool taken;
    int status;  // 9: not confirmed, told not to switch off; 11: flash again now
    const char* scale;
    const char* reason;  // a piece of the reason on stderr and in --json
  } cases[] = {
      // Taken, or perhaps taken, and not confirmed: its own outcome, never
      // "failed"; refused: failed, and a retry is safe; failed while writing: flash again.
      {"--emulate=0:0=drive+busy=600000", true, 9, "1000",
       "kept answering that it was not ready until the time it has to reprogram itself ran out"},
      {"--emulate=0:0=drive+fault=hang-after-download", true, 9, "1000",
       "did not answer afterwards, so the check"},
      {"--emulate=0:0=drive+fault=refuse-download", false, 11, "20",
       "may be incomplete; do not switch the machine off or reboot; flash it again now (sense "
       "4/0C"},
      {"--emulate=0:0=drive+fault=sense-download", false, 11, "20",
       "(sense 4/44/00 (hardware error: internal target failure))"},
      {"--emulate=0:0=drive+fault=error-download", false, 11, "20", "(host adapter status 0x14)"},
      {"--emulate=0:0=drive+fault=refuse-image", false, 1, "20",
       "did not take the image: sense 5/26/00 (illegal request: invalid field in parameter list)"},
      {"--emulate=0:0=drive+fault=hang-download", false, 9, "1000",
       "did not complete the download command: no answer within"},
  };
  for (const auto& c : cases) {
    RunRequest request;
    request.environment = {{kTimeScale, c.scale}};
    const RunResult r = Run({c.layout, "--yes"}, request);
    EXPECT_EQ(r.status, c.status) << c.layout << "\n" << Describe(r);
    EXPECT_EQ(Contains(r.error, "Not confirmed: the drive took the image"), c.taken) << r.error;
    // The status line's last words name the outcome: a drive that took the
    // image is not said to have failed, one that failed writing is.
    const char* endText = c.status == 9    ? "Download not confirmed: do not switch off!"
                          : c.status == 11 ? "Download incomplete: flash it again now!"
                                           : "Download has been failed!";
    EXPECT_TRUE(Contains(r.output, endText)) << c.layout << "\n" << r.output;
    EXPECT_TRUE(Contains(r.error, c.reason)) << c.layout << "\n" << r.error;
    const std::string advice = LineWith(r.error, "What to do: ");
    EXPECT_EQ(Contains(advice, "Do not switch the machine off"), c.status != 1) << r.error;
    // Told in the order it happened: what the drive did, then what to do.
    EXPECT_LT(r.error.find(c.reason), r.error.find(advice)) << r.error;
    EXPECT_TRUE(Contains(advice, c.status == 9    ? "--list"
                                 : c.status == 11 ? "command again now"
                                                  : "try again"));

    const RunResult json = Run({c.layout, "--yes", "--json"}, request);
    EXPECT_EQ(json.status, c.status) << c.layout << "\n" << Describe(json);
    const nlohmann::json summary = nlohmann::json::parse(json.output);
    EXPECT_EQ(summary["status"], c.status);
    EXPECT_EQ(summary["driveTookImage"], c.taken) << c.layout;
    EXPECT_TRUE(Contains(summary["reason"].get<std::string>(), c.reason)) << summary["reason"];
    EXPECT_EQ(summary["warning"].is_string(), c.status != 1) << c.layout;
    EXPECT_EQ(summary.contains("waitedForDrive"), Contains(c.layout, "busy")) << json.output;
    EXPECT_EQ(summary["statusLine"], endText);
  }
  // A drive still busy after the four attempts is waited for: it took the
  // image, the run confirms it, and the next run sees its new revision.
  const RunResult waited =
      Run({"--emulate=0:0=drive+busy=20000", "--yes", "--emulate-state", "state", "--json"});
  ASSERT_EQ(waited.status, 0) << Describe(waited);
  EXPECT_TRUE(Contains(waited.error, "Waiting for the drive: it says it is busy")) << waited.error;
  const nlohmann::json summary = nlohmann::json::parse(waited.output);
  EXPECT_TRUE(summary["waitedForDrive"].is_object() && summary["newRevision"] == "1.10");
  const RunResult list =
      Run({"--emulate=0:0=drive+busy=20000", "--emulate-state", "state", "--list", "--json"});
  ASSERT_EQ(list.status, 0) << Describe(list);
  EXPECT_EQ(nlohmann::json::parse(list.output)["drives"][0]["revision"], "1.10");
}

// ---- replays that end early or leave the recording ----

TEST_F(ProgramRun, AReplayThatLeavesOrStopsShortOfItsRecordingSaysSo) {
  PutDefaultImage();
  ASSERT_EQ(Run({"--emulate", "--yes", "--record", "session.jsonl"}).status, 0);

  // The same run again: nothing to report.
  const RunResult same = Run({"--replay", "session.jsonl", "--yes", "--json"});
  EXPECT_EQ(same.status, 0) << Describe(same);
  EXPECT_FALSE(Contains(same.error, "--replay")) << same.error;
  const nlohmann::json sameSummary = nlohmann::json::parse(same.output);
  EXPECT_EQ(sameSummary["replay"]["diverged"], false);
  EXPECT_EQ(sameSummary["replay"]["commandsNotSent"], 0);

  // No --yes and no terminal: the run stops before the tray; the recording's
  // tray command and the commands after it were never sent.
  const RunResult shorter = Run({"--replay", "session.jsonl"});
  EXPECT_EQ(shorter.status, 6) << Describe(shorter);
  EXPECT_TRUE(Contains(shorter.error, "--replay session.jsonl: 3 recorded command(s) were never"))
      << shorter.error;
  EXPECT_FALSE(Contains(shorter.error, "differed")) << shorter.error;

  // Another image sends other data: the run left the recording.
  std::ofstream(dir_ / "other.hex") << ":0100000041BE\r\n:00000001FF\r\n";
  for (const bool json : {false, true}) {
    std::vector<std::string> args{"--replay", "session.jsonl", "--yes", "--image", "other.hex"};
    if (json) args.push_back("--json");
    const RunResult diverged = Run(args);
    EXPECT_EQ(diverged.status, 7) << Describe(diverged);
    EXPECT_TRUE(Contains(diverged.error, "the run differed from the recording")) << diverged.error;
    if (json) {
      const nlohmann::json summary = nlohmann::json::parse(diverged.output);
      EXPECT_EQ(summary["status"], 7);
      EXPECT_EQ(summary["outcome"], "replay-diverged");
      EXPECT_EQ(summary["replay"]["diverged"], true);
    }
  }
}

// ---- device text in JSON ----

// JSON carries device text as it is: decoding gives back the exact bytes,
// a backslash or a quote included.
TEST_F(ProgramRun, JsonGivesDeviceTextExactly) {
  PutDefaultImage();
  for (const std::string revision : {"a\\b", "a\"b", "\\\\", "1\"\\0"}) {
    const std::string layout = "--emulate=0:0=drive+rev=" + revision;
    const RunResult list = Run({layout, "--list", "--json"});
    ASSERT_EQ(list.status, 0) << revision << "\n" << Describe(list);
    EXPECT_EQ(nlohmann::json::parse(list.output)["drives"][0]["revision"], revision);

    const RunResult run = Run({layout, "--yes", "--json"});
    ASSERT_EQ(run.status, 0) << revision << "\n" << Describe(run);
    EXPECT_EQ(nlohmann::json::parse(run.output)["drive"]["revision"], revision);
  }
  // On the terminal the same text stays escaped.
  const RunResult table = Run({"--emulate=0:0=drive+rev=a\\b", "--list"});
  EXPECT_TRUE(Contains(LineWith(table.output, "XPM-3177K"), "a\\\\b")) << table.output;
}

// Bytes a real drive may send beyond ASCII come out as the Latin-1 letters
// of those codes, so the output is always valid UTF-8. The drive here is a
// recorded one whose revision was changed to "\xE9\\\"\x01".
TEST_F(ProgramRun, JsonOfBytesBeyondAsciiIsValidUtf8) {
  ASSERT_EQ(Run({"--emulate", "--list", "--record", "session.jsonl"}).status, 0);
  std::ifstream in(dir_ / "session.jsonl");
  std::ofstream out(dir_ / "latin1.jsonl");
  int changed = 0;
  for (std::string line; std::getline(in, line);) {
    nlohmann::ordered_json record = nlohmann::ordered_json::parse(line);
    if (record["record"] == "exec" && record["target"] == 0 && record["ha"] == 0) {
      std::string data = record["data_in"];
      data.replace(64, 8, "e95c2201");  // bytes 32 to 35, the revision
      record["data_in"] = data;
      ++changed;
    }
    out << record.dump() << "\n";
  }
  out.close();
  ASSERT_EQ(changed, 1);

  const RunResult r = Run({"--replay", "latin1.jsonl", "--list", "--json"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(nlohmann::json::parse(r.output)["drives"][0]["revision"], "\xC3\xA9\\\"\x01");
}

// A file name is given as the user typed it where it is UTF-8, and its
// other bytes as \udcNN, in the summary of a check and of a run.
TEST_F(ProgramRun, JsonGivesFileNamesAsTheyAre) {
  for (const auto& [name, json] :
       {std::pair<std::string, std::string>{"f\xC3\xAF.hex", "f\xC3\xAF.hex"},
        {"f\xE9.hex", "f\\udce9.hex"}}) {
    fs::copy_file(kSample, dir_ / name);
    EXPECT_TRUE(Contains(Run({"--check", name, "--json"}).output, "\"image\":\"" + json + "\""));
    EXPECT_TRUE(Contains(Run({"--emulate", "--yes", "--image", name, "--json"}).output,
                         "\"image\":\"" + json + "\""));
  }
}

// ---- what was seen and what failed on the way ----

// Each run says on standard error, and in its JSON, what the terminal would
// otherwise pass over: devices not accepted and why, a tray that did not
// open and why.
TEST_F(ProgramRun, DevicesNotAcceptedAndATrayThatDidNotOpenAreTold) {
  PutDefaultImage();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* told;      // a line of standard error holds this
    const char* pointer;   // in the JSON output
    nlohmann::json value;  // its value there
  } cases[] = {
      {{"--emulate=0:0=drive+fault=sense-inquiry,0:2=cdrom", "--list", "--json"},
       12,
       "Not accepted at 0:0: a drive of the model that does not answer: INQUIRY failed: sense "
       "4/44/00 (hardware error: internal target failure)",
       "/rejected/0/finding",
       "inquiry-failed"},
      {{"--emulate=0:0=drive+fault=sense-inquiry,0:2=cdrom", "--list", "--json"},
       12,
       "Not accepted at 0:2 \"QTR5    CD-ROM XPM-2400B\" \"2.10\": a CD-ROM drive of another",
       "/rejected/1/reason",
       "a CD-ROM drive of another model (the product identification does not end in \"3177K\")"},
      {{"--emulate=0:0=drive+fault=locked", "--yes", "--json"},
       0,
       "The tray did not open: sense 5/53/02 (illegal request: medium removal prevented).",
       "/tray/reason",
       "sense 5/53/02 (illegal request: medium removal prevented)"},
      {{"--emulate=0:0=drive+fault=hang-tray", "--yes", "--json"},
       0,
       "The tray did not open: no answer within ",
       "/tray/opened",
       false},
      // The unit attention of a drive that was just powered on or reset is
      // answered by sending the command again.
      {{"--emulate=0:0=drive+fault=unit-attention", "--yes", "--json"},
       0,
       "",
       "/tray/opened",
       true},
  };
  for (const auto& c : cases) {
    RunRequest request;
    request.environment = {{kTimeScale, "1000"}};
    const RunResult r = Run(c.args, request);
    EXPECT_EQ(r.status, c.status) << c.args[0] << "\n" << Describe(r);
    const std::string told = LineWith(r.error, *c.told != 0 ? c.told : "tray");
    EXPECT_EQ(told != "", *c.told != 0) << c.args[0] << "\n" << r.error;
    const nlohmann::json json = nlohmann::json::parse(r.output, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << r.output;
    EXPECT_EQ(json.value(nlohmann::json::json_pointer(c.pointer), nlohmann::json()), c.value)
        << c.args[0] << " " << c.pointer << "\n"
        << r.output;
  }
}

}  // namespace

// ---- an image pinned by its file's SHA-256 or its checksum ----

// A script that pins the image gets that image or none: another one is
// refused before the download, with both values, on standard error and in
// --json; on a terminal before the question, so nothing is asked. The digest
// covers the whole file as sha256sum reads it, text behind the end-of-file
// record included.
TEST_F(ProgramRun, APinnedImageIsFlashedOnlyWhenItMatches) {
  std::string text = ReadFile(kSample) + "; release notes\r\n" + std::string(70000, '#') + "\r\n";
  std::ofstream(dir_ / "fw.hex", std::ios::binary) << text;
  std::string sha = Sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  std::string upper = sha;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string other(64, '0');
  const struct {
    std::vector<std::string> pins;
    int status;
    const char* reason;     // a piece of the refusal; empty when flashed
    bool terminal = false;  // asked on a terminal instead of --yes
  } cases[] = {
      {{"--expect-sha256", sha}, 0, ""},
      {{"--expect-sha256", upper, "--expect-checksum", "ce78"}, 0, ""},
      {{"--expect-sha256", other}, 1, "its SHA-256 is "},
      {{"--expect-checksum", "1234"}, 1, "its checksum is CE78, not the expected 1234"},
      {{"--expect-sha256", other, "--expect-checksum", "CE79"}, 1, "; its checksum is CE78"},
      {{"--expect-sha256", other}, 1, "its SHA-256 is ", true},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--emulate", "--json",          "--image",
                                  "fw.hex",    "--emulate-state", "state"};
    if (!c.terminal) args.push_back("--yes");
    args.insert(args.end(), c.pins.begin(), c.pins.end());
    fs::remove_all(dir_ / "state");
    RunRequest request;
    request.terminal = c.terminal;
    if (c.terminal) request.dialogue = {{"[y/N]", "y\n"}};
    const RunResult r = Run(args, request);
    if (!r.started) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.status, c.status) << c.pins[1] << "\n" << Describe(r);
    EXPECT_EQ(fs::exists(dir_ / "state" / "0-0" / "firmware.bin"), c.status == 0) << c.pins[1];
    EXPECT_FALSE(Contains(r.output, "[y/N]")) << r.output;
    // On a terminal the summary is the line of the output that is a JSON object.
    const std::string json = c.terminal ? LineWith(r.output, "{\"") : r.output;
    const nlohmann::json summary = nlohmann::json::parse(json);
    EXPECT_EQ(summary["imageNotExpected"], c.status != 0);
    if (c.pins[0] == "--expect-sha256") {
      EXPECT_EQ(summary["imageSha256"], sha);
    }
    if (c.status == 0) continue;
    const std::string reason = summary["reason"];
    EXPECT_TRUE(Contains(reason, c.reason)) << reason;
    EXPECT_TRUE(Contains(c.terminal ? r.output : r.error, c.reason)) << r.error;
    if (c.pins[0] == "--expect-sha256") {
      EXPECT_TRUE(Contains(reason, sha + ", not the expected " + other)) << reason;
    }
  }
}

// "Fail to Find Device" says what each address that answered held, why it
// was not taken, and where to look further.
TEST_F(ProgramRun, FailToFindDeviceSaysWhatEachAddressHeld) {
  PutDefaultImage();
  const struct {
    const char* layout;
    std::vector<std::string> told;
  } cases[] = {
      {"--emulate=0:0=cdrom,0:1=disk",
       {"Not accepted at 0:0 \"QTR5    CD-ROM XPM-2400B\"", "of another model",
        "Not accepted at 0:1", "not a CD-ROM drive"}},
      {"--emulate=empty", {}},
  };
  for (const auto& c : cases) {
    const RunResult r = Run({c.layout, "--yes"});
    EXPECT_EQ(r.status, 3) << c.layout << "\n" << Describe(r);
    EXPECT_TRUE(Contains(r.output, "Fail to Find Device")) << r.output;
    for (const std::string& piece : c.told) EXPECT_TRUE(Contains(r.error, piece)) << r.error;
    EXPECT_TRUE(Contains(r.error, "'qtr5-download --list' shows what the scan found")) << r.error;
  }
}

// ---- one image verdict on every path ----

// What an image is judged to be is said in the same words by --check, by
// --yes (with and without its SHA-256 pinned), in --json and at the
// terminal's question; an image that would erase the drive's firmware is
// flashed only when a person says so or its SHA-256 is pinned.
TEST_F(ProgramRun, AnImageVerdictIsTheSameOnEveryPath) {
  const std::string allFF = HexFile(0, std::vector<std::uint8_t>(4096, 0xFF));
  const std::string few = HexFile(0, {0x12, 0x34});
  const std::string joined = HexFile(0, {0x12}) + "\n" + HexFile(0x8000, {0x34});
  const struct {
    const char* name;
    std::string text;
    int check, yes, pinned;  // exit statuses of --check, --yes, --yes with the SHA-256 pinned
    const char* words;       // in --check's and --yes's lines, and in --json's summary
  } cases[] = {
      {"all 0xFF", allFF, 0, 1, 0, "would erase the drive's firmware"},
      {"few bytes", few, 0, 0, 0, "sets only 2 of the 65280 bytes"},
      {"two files joined", joined, 1, 1, 1, "follows the end-of-file record"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(dir_ / "fw.hex", std::ios::binary) << c.text;
    const std::string sha =
        Sha256Hex(reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size());
    const RunResult check = Run({"--check", "fw.hex"});
    EXPECT_EQ(check.status, c.check) << Describe(check);
    EXPECT_TRUE(Contains(check.output + check.error, c.words)) << Describe(check);
    const RunResult yes = Run({"--emulate", "--image", "fw.hex", "--yes", "--json"});
    EXPECT_EQ(yes.status, c.yes) << Describe(yes);
    EXPECT_TRUE(Contains(yes.output, c.words)) << "the summary says it\n" << Describe(yes);
    const RunResult pinned =
        Run({"--emulate", "--image", "fw.hex", "--yes", "--expect-sha256", sha});
    EXPECT_EQ(pinned.status, c.pinned) << Describe(pinned);
  }
  // At the terminal's question the answer decides, and no answer is no.
  std::ofstream(dir_ / "fw.hex", std::ios::binary) << allFF;
  for (const char* answer : {"\n", "y\n"}) {
    RunRequest request;
    request.terminal = true;
    request.dialogue = {{"[y/N]", answer}};
    const RunResult asked = Run({"--emulate", "--image", "fw.hex"}, request);
    if (!asked.started) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_TRUE(Contains(asked.output, "would erase the drive's firmware")) << asked.output;
    EXPECT_EQ(asked.status, answer[0] == 'y' ? 0 : 6) << Describe(asked);
  }
}
