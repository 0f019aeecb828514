#include "program/flow_run.h"

#include <cstdio>
#include <optional>
#include <string>

#include "program/flow_questions.h"
#include "program/list_run.h"
#include "program/program.h"
#include "program/program_front_end.h"
#include "program/run_provider.h"
#include "program/run_summary.h"
#include "system/interruption.h"
#include "text/printable.h"
#include "transports/emulated/emulated_bus.h"

void FillSessionRequest(const ProgramOptions& options, ProgramFrontEnd& frontEnd, bool mayAsk,
                        SessionRequest& request) {
  request.hasPreferredDevice = options.hasDevice;
  request.preferredAdapter = options.deviceAdapter;
  request.preferredTarget = options.deviceTarget;
  request.mayAskForDevice = mayAsk;
  request.expectedSha256 = options.expectedSha256;
  request.hasExpectedChecksum = options.hasExpectedChecksum;
  request.expectedChecksum = options.expectedChecksum;
  request.dryRun = options.dryRun;
  request.waitPump = frontEnd.WaitPump();
}

Outcome JudgeReplay(const RunProvider& transport, ProgramFrontEnd& frontEnd,
                    const ProgramOptions& options, Outcome outcome) {
  const std::optional<RunProvider::ReplayState> replay = transport.Replay();
  if (!replay) return outcome;
  const std::string name = "--replay " + PrintableText(options.replayPath) + ": ";
  if (replay->diverged)
    frontEnd.PrintError(name + "the run differed from the recording (see above)");
  if (replay->notSent > 0)
    frontEnd.PrintError(name + std::to_string(replay->notSent) +
                        " recorded command(s) were never sent by this run");
  return replay->diverged ? Outcome::kReplayDiverged : outcome;
}

const char* const kNoAccessLine =
    "The system refused this program access to a device that may be the XPM-3177K drive "
    "(permission denied), so it could not look for the drive: give the user access to the "
    "drive (the udev rule of README.drive-access.md) or run qtr5-download as root; on Windows, "
    "run it as administrator. Nothing was sent.";

Outcome JudgeAccess(const RunProvider& transport, Outcome outcome) {
  const bool found = outcome != Outcome::kNoDrive && outcome != Outcome::kNotAnswering;
  return found || !transport.AccessDenied() ? outcome : Outcome::kNoAccess;
}

std::string StateWarning(const RunProvider& transport) {
  if (transport.Bus() == nullptr || transport.Bus()->LastStateError().empty()) return {};
  return "--emulate-state: the drive's new state was not kept: " +
         PrintableText(transport.Bus()->LastStateError());
}

namespace {

// What a dry run would have done, said at its end: the image, its identity
// and the drive when it would have downloaded, else the status a real run
// ends with, which this one ends with too.
std::string DryRunLine(const RunRecord& record, const ScanRecord& scan, bool wouldAsk,
                       Outcome outcome) {
  constexpr const char* kNothingSent = "the tray was not opened and nothing but INQUIRY was sent";
  if (!record.wouldDownload || outcome != Outcome::kSuccess) {
    return "Dry run: a real run would stop here too (status " +
           std::to_string(ExitStatus(outcome)) + ", " + OutcomeName(outcome) + "); " +
           kNothingSent + ".";
  }
  char address[16];
  std::snprintf(address, sizeof address, "%u:%u", static_cast<unsigned>(record.chosenAdapter),
                static_cast<unsigned>(record.chosenTarget));
  const std::string model =
      FullModelText(scan, record.chosenAdapter, record.chosenTarget, record.model.c_str());
  return std::string("Dry run: would ") + (wouldAsk ? "ask, and on yes download " : "download ") +
         PrintableText(record.imageFile) + " (SHA-256 " + record.imageSha256 + ", checksum " +
         record.checksum + ") to " + PrintableText(model) + " at " + address + "; " + kNothingSent +
         ".";
}

}  // namespace

FlowRun::FlowRun(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                 const RunProvider& transport, const RunRecord& record, const ScanRecord& scan,
                 const ProgramQuestions& questions)
    : options_(options),
      frontEnd_(frontEnd),
      transport_(transport),
      record_(record),
      scan_(scan),
      questions_(questions) {
  const std::string name = frontEnd.ProgramName();
  InstallInterruptionHandlers(
      name, name + ": " + kInterruptedLines[0] + "\n" + name + ": " + kInterruptedLines[1]);
}

void FlowRun::Publish() const {
  if (!options_.json) return;
  const LiveState live{questions_.StartedUpAlready(), questions_.DownloadConsented()};
  PublishInterruptionSummary(RunSummary(record_, scan_, Outcome::kInterrupted, transport_.Replay(),
                                        {}, questions_.GuardWarning(), live) +
                             "\n");
}

Outcome FlowRun::Finish(Outcome outcome, bool shownInWindow, bool statusPrinted) const {
  const RunRecord& record = record_;
  ProgramFrontEnd& frontEnd = frontEnd_;
  // What a person saw in the window's "Why" boxes is not told in a box again.
  auto tellAgain = [&frontEnd, shownInWindow](const std::string& line) {
    if (shownInWindow) {
      frontEnd.PrintErrorShownInWindow(line);
    } else {
      frontEnd.PrintError(line);
    }
  };
  outcome = JudgeAccess(transport_, outcome);
  if (outcome == Outcome::kNoAccess) tellAgain(kNoAccessLine);
  // "Fail to Find Device": what each address that answered was, and why it
  // was not taken.
  if (outcome == Outcome::kNoDrive && record.scanRefusal.empty()) {
    TellNotAccepted(frontEnd, scan_, shownInWindow);
    tellAgain(
        "No XPM-3177K drive was accepted; 'qtr5-download --list' shows what the "
        "scan found");
  }
  if (outcome == Outcome::kNotReady && !(statusPrinted && record.statusLine == record.notReady))
    frontEnd.PrintError(record.notReady);
  if (outcome == Outcome::kNotAnswering &&
      !(statusPrinted && record.statusLine == record.notAnswering))
    frontEnd.PrintError(record.notAnswering);
  if (outcome == Outcome::kRefusedToGuess) {
    frontEnd.PrintError(std::to_string(record.drivesAccepted) +
                        " drives found and none chosen: pick one with --device A:T (see "
                        "--list); no tray was opened and nothing was downloaded");
  }
  if (!record.newModel.empty()) {
    frontEnd.PrintError("The drive now reports itself as \"" + PrintableText(record.newModel) +
                        "\" (before the download: \"" + PrintableText(record.model) +
                        "\"): the new firmware changed the drive's identity");
  }
  // Why the download failed and what to do next, after the status line
  // that said it failed (a window worked by a person showed it in a box).
  if (!record.failureReason.empty()) {
    tellAgain(PrintableText(record.failureReason));
    if (!record.failureAdvice.empty())
      tellAgain("What to do: " + PrintableText(record.failureAdvice));
  } else {
    for (const std::string& line : DownloadWarningLines(record)) frontEnd.PrintError(line);
  }
  outcome = JudgeReplay(transport_, frontEnd, options_, outcome);
  if (record.dryRun) {
    // The run's result: on standard output, unless that holds the summary.
    const std::string line = DryRunLine(record, scan_, questions_.WouldAsk(), outcome);
    if (options_.json) {
      frontEnd.PrintError(line);
    } else {
      frontEnd.PrintLine(line);
    }
  }
  // An emulated drive's state that could not be kept is said before the
  // summary, which gives it as a warning too.
  const std::string stateWarning = StateWarning(transport_);
  if (!stateWarning.empty()) frontEnd.PrintError(stateWarning);
  if (options_.json)
    PrintFinalSummary(frontEnd, RunSummary(record, scan_, outcome, transport_.Replay(),
                                           stateWarning, questions_.GuardWarning()));
  return outcome;
}
