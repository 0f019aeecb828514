// The --json summaries of the runs that end before the application runs or
// without it (a usage error, a device name that names nothing, no display,
// an image check, an interrupted list), and the judgement of standard output:
// a summary or a text that never reached its reader is a failure.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "discovery/scan_record.h"
#include "image/image_check.h"
#include "program/exit_status.h"
#include "program/json_line.h"
#include "program/run_provider.h"

struct RunRecord;

// What the program says of a drive that took the image and fell silent (the
// first line), and what to do about it (the second); the same when a signal
// cut the waits after the download short.
extern const char* const kUnansweredLines[2];
extern const char* const kInterruptedLines[2];

// The warning of a run whose drive may hold new firmware without having
// said so; empty when there is nothing to warn of.
std::vector<std::string> DownloadWarningLines(const RunRecord& run);

// For a signal that may end the run from now on, with what the window shows
// so far: whether the tray command has ended (before, its outcome is not
// known), and whether the download command may be on its way, so that the
// warning of an interrupted download is given.
struct LiveState {
  bool trayEnded = true;
  bool downloadStarted = false;
};

// --json: what the run did, as one JSON object. File names and the
// program's sentences are given as their bytes (see JsonLine: valid UTF-8
// as it is, any other byte escaped), the drive's own strings as JsonText
// gives them. With `live`, the summary a signal prints if it ends the run
// now.
std::string RunSummary(const RunRecord& run, const ScanRecord& scan, Outcome outcome,
                       const std::optional<RunProvider::ReplayState>& replay,
                       const std::string& stateWarning, const std::string& guardWarning,
                       const std::optional<LiveState>& live = std::nullopt);

// One line: the summary of a run that ended with `outcome` before anything
// was done, with `error` saying why (printable as JSON text).
std::string NothingDoneSummary(Outcome outcome, const std::string& error);

// --check --json: the result, the checksum, the file's SHA-256 and its data
// byte count, and why the check failed (null when it did not).
std::string CheckSummary(Outcome outcome, const std::string& file, const ImageCheckReport& report);

// --list --json ended by a signal before its list was complete.
std::string InterruptedListSummary();

// Flushes standard output. False, after saying so on standard error with
// `programName`, when what was written there could not be written.
bool StandardOutputWritten(const char* programName);
