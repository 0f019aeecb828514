#include "program/run_summary.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "discovery/scan_record.h"
#include "program/flow_run.h"
#include "session/run_record.h"
#include "text/printable.h"

// A drive that completed the download command but never answered after it
// may still be writing its new firmware: switched off now, it may be lost.
const char* const kUnansweredLines[2] = {
    "The drive took the image but did not answer afterwards: it may still be reprogramming "
    "itself.",
    "Do not switch the machine off. Wait a few minutes, then check the drive's revision with "
    "'qtr5-download --list' and reboot.",
};

// The same when a signal cut the waits after the download short.
const char* const kInterruptedLines[2] = {
    "Interrupted after the drive took the image: it may still be reprogramming itself.",
    "Do not switch the machine off. Wait a few minutes, then check the drive's revision with "
    "'qtr5-download --list' and reboot.",
};

namespace {

// A download command that never ended may have reached the drive all the
// same: the same advice holds.
constexpr const char* kDownloadTimedOutLine =
    "The download command did not end within its time limit: the drive may have taken the image "
    "and may still be reprogramming itself.";

char HexDigit(unsigned value) {
  return "0123456789ABCDEF"[value & 0xF];
}

}  // namespace

std::string NothingDoneSummary(Outcome outcome, const std::string& error) {
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  summary["drivesFound"] = 0;
  for (const char* key : {"drive", "image", "checksum", "newRevision", "statusLine"})
    summary[key] = nullptr;
  summary["driveTookImage"] = false;
  summary["warning"] = nullptr;
  summary["error"] = error;
  return JsonLine(summary);
}

std::string CheckSummary(Outcome outcome, const std::string& file, const ImageCheckReport& report) {
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  summary["image"] = file;
  summary["result"] = report.result;
  if (report.loaded) {
    const std::string checksum = {HexDigit(report.checksum >> 12), HexDigit(report.checksum >> 8),
                                  HexDigit(report.checksum >> 4), HexDigit(report.checksum)};
    summary["checksum"] = checksum;
    summary["imageSha256"] = report.sha256;
  } else {
    summary["checksum"] = nullptr;
    summary["imageSha256"] = nullptr;
  }
  summary["dataBytes"] = report.dataBytes;
  summary["reason"] = report.reason.empty() ? nlohmann::ordered_json(nullptr)
                                            : nlohmann::ordered_json(report.reason);
  return JsonLine(summary);
}

std::string InterruptedListSummary() {
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(Outcome::kInterrupted);
  summary["outcome"] = OutcomeName(Outcome::kInterrupted);
  summary["drives"] = nlohmann::ordered_json::array();
  summary["drivesFound"] = 0;
  summary["rejected"] = nlohmann::ordered_json::array();
  return JsonLine(summary);
}

bool StandardOutputWritten(const char* programName) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int error = errno;
  std::fprintf(stderr, "%s: the output could not be written: %s\n", programName,
               std::strerror(error));
  return false;
}

std::vector<std::string> DownloadWarningLines(const RunRecord& run) {
  const bool tookImageButDidNotAnswer = run.downloadTaken && !run.downloadSucceeded;
  if (tookImageButDidNotAnswer && run.interruptedBy != 0)
    return {kInterruptedLines[0], kInterruptedLines[1]};
  if (tookImageButDidNotAnswer) return {kUnansweredLines[0], kUnansweredLines[1]};
  if (run.downloadTimedOut) return {kDownloadTimedOutLine, kUnansweredLines[1]};
  return {};
}

std::string RunSummary(const RunRecord& run, const ScanRecord& scan, Outcome outcome,
                       const std::optional<RunProvider::ReplayState>& replay,
                       const std::string& stateWarning, const std::string& guardWarning,
                       const std::optional<LiveState>& live) {
  const bool shownNow = run.mainWindowClosed || live.has_value();
  // File names and the program's sentences as they are; what the drive
  // reported (its revision) as JsonText gives it.
  auto text = [](const std::string& value) -> nlohmann::json {
    if (value.empty()) return nullptr;
    return value;
  };
  auto deviceText = [](const std::string& value) -> nlohmann::json {
    if (value.empty()) return nullptr;
    return JsonText(value);
  };
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  // A dry run's status 0 says the download would have been sent.
  if (run.dryRun) summary["dryRun"] = true;
  summary["drivesFound"] = run.drivesAccepted;
  // What the main window showed as it went.
  if (run.driveChosen && shownNow) {
    summary["drive"] = {{"adapter", run.chosenAdapter},
                        {"target", run.chosenTarget},
                        {"model", JsonText(FullModelText(scan, run.chosenAdapter, run.chosenTarget,
                                                         run.model.c_str()))},
                        {"revision", JsonText(run.revision)}};
  } else {
    summary["drive"] = nullptr;
  }
  const auto shown = [shownNow](const nlohmann::json& value) {
    return shownNow ? value : nlohmann::json(nullptr);
  };
  summary["image"] = shown(text(run.imageFile));
  summary["checksum"] = shown(text(run.checksum));
  if (!run.imageSha256.empty()) summary["imageSha256"] = run.imageSha256;
  summary["imageNotExpected"] = run.imageNotExpected;
  summary["newRevision"] = shown(deviceText(run.newRevision));
  if (!run.newModel.empty()) summary["newModel"] = JsonText(run.newModel);
  summary["statusLine"] = shown(text(run.statusLine));
  // Nothing to tell of the tray while a live run still works it, or without a drive.
  const bool trayTold = run.driveChosen && (!live.has_value() || live->trayEnded);
  if (!trayTold) {
    summary["tray"] = nullptr;
  } else if (run.dryRun && !run.refusedBeforeTray) {
    summary["tray"] = {{"opened", false}, {"reason", "not opened: a dry run"}};
  } else if (run.refusedBeforeTray) {
    summary["tray"] = {{"opened", false}, {"reason", "not opened: this run could not download"}};
  } else {
    summary["tray"] = {{"opened", !run.trayFailed},
                       {"reason", text(run.trayFailed ? run.trayFailure : std::string())}};
  }
  summary["driveTookImage"] = run.downloadTaken;
  // A drive still busy after the usual attempts was asked again until it
  // answered or the window ended.
  if (run.driveWaitedForMs != 0)
    summary["waitedForDrive"] = {{"seconds", run.driveWaitedForMs / 1000},
                                 {"inquiries", run.checkInquiries}};
  // A run refused before the tray says why as its status line does.
  std::string reason = outcome == Outcome::kNoAccess ? kNoAccessLine
                       : !run.notReady.empty()       ? run.notReady
                       : !run.notAnswering.empty()   ? run.notAnswering
                                                     : run.failureReason;
  if (reason.empty() && run.refusedBeforeTray) reason = run.statusLine;
  summary["reason"] = text(reason);
  std::vector<std::string> warning = run.driveMayBeBusy || run.downloadIncomplete
                                         ? std::vector<std::string>{run.failureAdvice}
                                         : DownloadWarningLines(run);
  if (live && live->downloadStarted && warning.empty())
    warning = {kInterruptedLines[0], kInterruptedLines[1]};
  if (!run.imageWarning.empty()) warning.insert(warning.begin(), run.imageWarning + ".");
  if (!stateWarning.empty()) warning.push_back(stateWarning);
  if (!guardWarning.empty()) warning.push_back(guardWarning);
  if (!warning.empty()) {
    std::string joined;
    for (const std::string& line : warning) joined += (joined.empty() ? "" : " ") + line;
    summary["warning"] = joined;
  } else {
    summary["warning"] = nullptr;
  }
  if (replay) {
    summary["replay"] = {{"diverged", replay->diverged}, {"commandsNotSent", replay->notSent}};
  }
  return JsonLine(summary);
}
