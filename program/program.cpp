#include "program/program.h"

#include <cstdio>
#include <optional>
#include <string>

#include "aspi/aspi_provider.h"
#include "image/image_check.h"
#include "program/flow_run.h"
#include "program/list_run.h"
#include "program/program_front_end.h"
#include "program/run_provider.h"
#include "program/run_summary.h"
#include "program/time_scale.h"
#include "text/printable.h"

namespace {

Outcome RunCheck(const ProgramOptions& options, ProgramFrontEnd& frontEnd) {
  // With --json the check's lines go to standard error, its summary alone
  // to standard output.
  ImageCheckReport report;
  const ImageCheckResult result = RunImageCheck(
      options.checkFile.c_str(), options.saveImage ? options.saveImagePath.c_str() : nullptr,
      options.json ? frontEnd.ErrorOutput() : frontEnd.Output(), frontEnd.ErrorOutput(), &report);
  if (result == kImageCheckUsage) {
    frontEnd.PrintError("--check needs a file name");
    return Outcome::kUsageError;
  }
  const Outcome outcome = result == kImageCheckBuilt ? Outcome::kSuccess : Outcome::kFailed;
  if (options.json) frontEnd.PrintLine(CheckSummary(outcome, options.checkFile, report));
  return outcome;
}

// --json with a usage error: the run's summary with nothing done, and the
// message that says why.
std::string UsageErrorSummary(const std::string& message) {
  return NothingDoneSummary(Outcome::kUsageError, message);
}

// A usage error found once the options were parsed: the message made
// printable (it may quote a layout or a file name as typed), and the JSON
// summary when one is asked for.
Outcome UsageError(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                   const std::string& message) {
  frontEnd.PrintError(PrintableText(message));
  if (options.json) frontEnd.PrintLine(UsageErrorSummary(message));
  return Outcome::kUsageError;
}

}  // namespace

std::string UsageErrorJson(const ParseResult& parsed) {
  return UsageErrorSummary(parsed.text);
}

std::optional<int> FinishUnlessRun(const ParseResult& parsed) {
  switch (parsed.action) {
    case ParseAction::kHelp:
    case ParseAction::kVersion:
      // A text that never reached its reader (a full disk) was not shown.
      std::printf("%s\n", parsed.text.c_str());
      return ExitStatus(StandardOutputWritten(kCommandName) ? Outcome::kSuccess : Outcome::kFailed);
    case ParseAction::kUsageError:
      std::fprintf(stderr, "%s\n", parsed.text.c_str());
      if (parsed.options.json) std::printf("%s\n", UsageErrorJson(parsed).c_str());
      return ExitStatus(Outcome::kUsageError);
    case ParseAction::kRun:
      break;
  }
  return std::nullopt;
}

int RunProgram(const ProgramOptions& options, ProgramFrontEnd& frontEnd) {
  if (options.check) return ExitStatus(RunCheck(options, frontEnd));

  if (options.dryRun && !frontEnd.TakesEveryStepItself()) {
    return ExitStatus(UsageError(options, frontEnd,
                                 "--dry-run works in the window only together with --yes: a "
                                 "window worked by a person opens the tray at start"));
  }
  std::string scaleError;
  std::optional<unsigned> scale = TimeScaleFromEnvironment(scaleError);
  if (!scaleError.empty()) return ExitStatus(UsageError(options, frontEnd, scaleError));
  if (scale && !options.emulate && !options.replay) {
    frontEnd.PrintError("QTR5_TIME_SCALE is ignored: it is meant for emulated drives only");
    scale.reset();
  }

  RunProvider transport;
  std::string problem;
  if (!transport.Open(options, frontEnd, problem))
    return ExitStatus(UsageError(options, frontEnd, problem));
  transport.Install();
  if (scale) InstallTimeScale(*scale, transport.Bus());
  // A device name is turned into the adapter and target it has in this run.
  ProgramOptions resolved = options;
  if (!options.deviceName.empty()) {
    const AspiProvider* provider = InstalledAspiProvider();
    aspi::BYTE adapter = 0;
    aspi::BYTE target = 0;
    if (provider == nullptr || !provider->FindDevice(options.deviceName, adapter, target)) {
      // A device the program may not open is no device it could name.
      const Outcome outcome = JudgeAccess(transport, Outcome::kNoDrive);
      const std::string message =
          outcome == Outcome::kNoAccess
              ? std::string(kNoAccessLine)
              : "--device " + PrintableText(options.deviceName) +
                    ": no device at target 0 to 7 of this machine goes by that name (see "
                    "--list); nothing was sent";
      frontEnd.PrintError(message);
      if (options.json) frontEnd.PrintLine(NothingDoneSummary(outcome, message));
      return ExitStatus(outcome);
    }
    resolved.deviceAdapter = adapter;
    resolved.deviceTarget = target;
  }
  Outcome outcome = Outcome::kSuccess;
  if (resolved.list) {
    outcome = JudgeAccess(transport, RunList(resolved, frontEnd));
    if (outcome == Outcome::kNoAccess) frontEnd.PrintError(kNoAccessLine);
    outcome = JudgeReplay(transport, frontEnd, resolved, outcome);
  } else {
    outcome = frontEnd.RunFlow(resolved, transport);
  }
  if (resolved.list && !StateWarning(transport).empty())
    frontEnd.PrintError(StateWarning(transport));
  return ExitStatus(outcome);
}
