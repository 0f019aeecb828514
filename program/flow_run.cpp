#include "program/flow_run.h"

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

std::string StateWarning(const RunProvider& transport) {
  if (transport.Bus() == nullptr || transport.Bus()->LastStateError().empty()) return {};
  return "--emulate-state: the drive's new state was not kept: " +
         PrintableText(transport.Bus()->LastStateError());
}

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
  // An emulated drive's state that could not be kept is said before the
  // summary, which gives it as a warning too.
  const std::string stateWarning = StateWarning(transport_);
  if (!stateWarning.empty()) frontEnd.PrintError(stateWarning);
  if (options_.json)
    PrintFinalSummary(frontEnd, RunSummary(record, scan_, outcome, transport_.Replay(),
                                           stateWarning, questions_.GuardWarning()));
  return outcome;
}
