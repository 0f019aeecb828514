#include "program/exit_status.h"

namespace {

struct StatusEntry {
  Outcome outcome;
  const char* name;
  const char* meaning;
};

// The exit statuses: this table gives every outcome its name and its meaning.
constexpr StatusEntry kStatusTable[] = {
    {Outcome::kSuccess, "success", "success: the download, the list or the check succeeded"},
    {Outcome::kFailed, "failed",
     "the image or the download failed, there was no image, or no output"},
    {Outcome::kUsageError, "usage-error", "usage error: a bad option, value or combination"},
    {Outcome::kNoDrive, "no-drive", "no XPM-3177K drive was found (also: no host adapter)"},
    {Outcome::kInternalFailure, "internal-failure",
     "internal failure: the main window could not be made"},
    {Outcome::kRefusedToGuess, "refused-to-guess",
     "several drives and no --device: none was chosen, nothing was sent"},
    {Outcome::kNotDownloaded, "not-downloaded",
     "no download: declined, no --yes without a terminal, or closed first"},
    {Outcome::kReplayDiverged, "replay-diverged",
     "the run differed from the --replay recording (it says where)"},
    {Outcome::kInterrupted, "interrupted",
     "a signal ended the run: nothing was sent, or see the warning"},
    {Outcome::kUnconfirmed, "unconfirmed",
     "not confirmed: the drive took the image or may have; do not retry"},
    {Outcome::kNotReady, "not-ready",
     "a drive was not ready yet (asked for 10 s): nothing was sent, try again"},
};

const StatusEntry& EntryOf(Outcome outcome) {
  for (const StatusEntry& entry : kStatusTable)
    if (entry.outcome == outcome) return entry;
  return kStatusTable[4];  // unreachable: every outcome is in the table
}

}  // namespace

int ExitStatus(Outcome outcome) {
  return static_cast<int>(outcome);
}

const char* ExitStatusMeaning(Outcome outcome) {
  return EntryOf(outcome).meaning;
}

const char* OutcomeName(Outcome outcome) {
  return EntryOf(outcome).name;
}

std::string ExitStatusHelp() {
  std::string text;
  for (const StatusEntry& entry : kStatusTable) {
    const Outcome outcome = entry.outcome;
    text += "  " + std::to_string(ExitStatus(outcome)) + "  " + ExitStatusMeaning(outcome) + "\n";
  }
  return text;
}
