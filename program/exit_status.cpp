#include "program/exit_status.h"

#include <sstream>

namespace {

struct StatusEntry {
  Outcome outcome;
  const char* name;
  const char* meaning;
};

// The exit statuses: this table gives every outcome its name and its meaning.
constexpr StatusEntry kStatusTable[] = {
    {Outcome::kSuccess, "success",
     "success: the download, the list or the check succeeded; with --dry-run: "
     "the download would go ahead"},
    {Outcome::kFailed, "failed",
     "the image failed or there was none, the drive refused the download before writing "
     "(nothing changed, a retry is safe), or no output"},
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
    {Outcome::kIncomplete, "incomplete",
     "the drive failed while writing: its firmware may be incomplete; do not switch the "
     "machine off or reboot; flash it again now"},
    {Outcome::kNotAnswering, "not-answering",
     "a drive of the model does not answer (the system names it, its INQUIRY fails): nothing "
     "was sent"},
    {Outcome::kNoAccess, "no-access",
     "no rights: the system refused access to a device that may be the drive (give the user "
     "access, or run as root; as administrator on Windows): nothing was sent"},
};

// Help lines are wrapped to this width, continued under the meaning.
constexpr std::size_t kHelpWidth = 78;

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
    const std::string number = std::to_string(ExitStatus(entry.outcome));
    std::string line = std::string(4 - number.size(), ' ') + number + "  ";
    const std::size_t indent = line.size();
    std::istringstream words(entry.meaning);
    bool first = true;
    for (std::string word; words >> word; first = false) {
      if (!first && line.size() + 1 + word.size() > kHelpWidth) {
        text += line + "\n";
        line = std::string(indent, ' ') + word;
      } else {
        line += (first ? "" : " ") + word;
      }
    }
    text += line + "\n";
  }
  return text;
}
