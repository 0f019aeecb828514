// The exit statuses of the qtr5-download programs: one table, used by the
// programs to end and by the help text to explain them. The numbers are in
// app/exit_status_numbers.h, for the layers below that must give one.
#pragma once

#include <string>

// What happened, in the words of the exit status table. Every way out of the
// program ends in exactly one of these.
enum class ProgramOutcome {
  kSuccess,          // the download (or the list, or the check) succeeded
  kFailed,           // the image or the download failed, no image, or the output failed
  kUsageError,       // bad option, option value or combination
  kNoDrive,          // no drive of the model accepted (also: no host adapter)
  kInternalFailure,  // the main window could not be created
  kRefusedToGuess,   // several drives, no --device and no question allowed
  kNotDownloaded,    // declined, not confirmed, or closed before a download
  kReplayDiverged,   // --replay: the run sent a command the recording does not hold
  kInterrupted,      // a signal (Ctrl-C, SIGTERM, SIGHUP) ended the run
  kUnconfirmed,      // the drive took the image (or may have) but it was not confirmed
  kNotReady,         // no drive chosen: a drive of the model (or a device) stayed not ready
};

// The exit status of an outcome.
int ExitStatus(ProgramOutcome outcome);

// A short name of the outcome for machine-readable output ("success",
// "failed", "usage-error", "no-drive", "internal-failure",
// "refused-to-guess", "not-downloaded", "replay-diverged", "interrupted",
// "not-ready").
const char* OutcomeName(ProgramOutcome outcome);

// What the status means, in one line.
const char* ExitStatusMeaning(ProgramOutcome outcome);

// The table as the help shows it: "  N  meaning" lines, in status order.
std::string ExitStatusHelp();
