#include "program/exit_status.h"

#include "app/exit_status_numbers.h"

namespace {

struct StatusEntry {
  ProgramOutcome outcome;
  int status;
  const char* name;
  const char* meaning;
};

// The exit statuses: this table pairs every outcome with its number (from
// app/exit_status_numbers.h), its name and its meaning.
constexpr StatusEntry kStatusTable[] = {
    {ProgramOutcome::kSuccess, exit_status::kSuccess, "success",
     "success: the download, the list or the check succeeded"},
    {ProgramOutcome::kFailed, exit_status::kFailed, "failed",
     "the image or the download failed, there was no image, or no output"},
    {ProgramOutcome::kUsageError, exit_status::kUsageError, "usage-error",
     "usage error: a bad option, value or combination"},
    {ProgramOutcome::kNoDrive, exit_status::kNoDrive, "no-drive",
     "no XPM-3177K drive was found (also: no host adapter)"},
    {ProgramOutcome::kInternalFailure, exit_status::kInternalFailure, "internal-failure",
     "internal failure: the main window could not be made"},
    {ProgramOutcome::kRefusedToGuess, exit_status::kRefusedToGuess, "refused-to-guess",
     "several drives and no --device: none was chosen, nothing was sent"},
    {ProgramOutcome::kNotDownloaded, exit_status::kNotDownloaded, "not-downloaded",
     "no download: declined, no --yes without a terminal, or closed first"},
    {ProgramOutcome::kReplayDiverged, exit_status::kReplayDiverged, "replay-diverged",
     "the run differed from the --replay recording (it says where)"},
    {ProgramOutcome::kInterrupted, exit_status::kInterrupted, "interrupted",
     "a signal ended the run: nothing was sent, or see the warning"},
    {ProgramOutcome::kUnconfirmed, exit_status::kUnconfirmed, "unconfirmed",
     "not confirmed: the drive took the image or may have; do not retry"},
    {ProgramOutcome::kNotReady, exit_status::kNotReady, "not-ready",
     "a drive was not ready yet (asked for 10 s): nothing was sent, try again"},
};

const StatusEntry& EntryOf(ProgramOutcome outcome) {
  for (const StatusEntry& entry : kStatusTable)
    if (entry.outcome == outcome) return entry;
  return kStatusTable[4];  // unreachable: every outcome is in the table
}

}  // namespace

int ExitStatus(ProgramOutcome outcome) {
  return EntryOf(outcome).status;
}

const char* ExitStatusMeaning(ProgramOutcome outcome) {
  return EntryOf(outcome).meaning;
}

const char* OutcomeName(ProgramOutcome outcome) {
  return EntryOf(outcome).name;
}

std::string ExitStatusHelp() {
  std::string text;
  for (const StatusEntry& entry : kStatusTable) {
    text += "  " + std::to_string(entry.status) + "  " + entry.meaning + "\n";
  }
  return text;
}
