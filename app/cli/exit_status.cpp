#include "app/cli/exit_status.h"

namespace {

struct StatusEntry {
  ProgramOutcome outcome;
  int status;
  const char* name;
  const char* meaning;
};

// The exit statuses: this table is the only place that gives them.
constexpr StatusEntry kStatusTable[] = {
    {ProgramOutcome::kSuccess, 0, "success",
     "success: the download, the list or the check succeeded"},
    {ProgramOutcome::kFailed, 1, "failed",
     "the image or the download failed, there was no image, or no output"},
    {ProgramOutcome::kUsageError, 2, "usage-error",
     "usage error: a bad option, value or combination"},
    {ProgramOutcome::kNoDrive, 3, "no-drive",
     "no XPM-3177K drive was found (also: no host adapter)"},
    {ProgramOutcome::kInternalFailure, 4, "internal-failure",
     "internal failure: the main window could not be made"},
    {ProgramOutcome::kRefusedToGuess, 5, "refused-to-guess",
     "several drives and no --device: none was chosen, nothing was sent"},
    {ProgramOutcome::kNotDownloaded, 6, "not-downloaded",
     "no download: declined, no --yes without a terminal, or closed first"},
    {ProgramOutcome::kReplayDiverged, 7, "replay-diverged",
     "the run differed from the --replay recording (it says where)"},
    {ProgramOutcome::kInterrupted, 8, "interrupted",
     "a signal ended the run: nothing was sent, or see the warning"},
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
