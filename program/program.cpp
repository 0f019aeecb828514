#include "program/program.h"

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/run_context.h"
#include "app/window_watcher.h"
#include "aspi/aspi_device.h"
#include "aspi/aspi_provider.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "image/image_check.h"
#include "program/automation.h"
#include "program/list_run.h"
#include "program/program_front_end.h"
#include "program/run_provider.h"
#include "program/run_summary.h"
#include "system/interruption.h"
#include "text/printable.h"
#include "transports/emulated/emulated_bus.h"
#include "winui/winapi.h"

#include "program/time_scale.h"

namespace {

HINSTANCE ProgramInstance() {
#ifdef _WIN32
  return GetModuleHandleA(nullptr);
#else
  return nullptr;
#endif
}

// Why no drive was found when Windows refused the pass-through for want of
// rights: said first in the box that explains it.
constexpr const char* kTextNeedAdministrator =
    "Administrator rights are needed: Windows refused this program access to the CD-ROM "
    "drives. Close the program, then right-click it and choose \"Run as administrator\" (on "
    "Windows XP: log on as an administrator).";

std::string TrayLine(const RunRecord& run) {
  return "The tray did not open: " + run.trayFailure +
         ". The drive takes its firmware with the tray closed as well.";
}

// --replay: says how the run compared with the recording. A run that left
// the recording proves nothing about the recorded drives and gets a status
// of its own; one that stopped short of the recording's end keeps its own.
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

// --emulate-state: the line that says a drive's new state was not kept;
// empty when it was (or there is none).
std::string StateWarning(const RunProvider& transport) {
  if (transport.Bus() == nullptr || transport.Bus()->LastStateError().empty()) return {};
  return "--emulate-state: the drive's new state was not kept: " +
         PrintableText(transport.Bus()->LastStateError());
}

// The choice among several drives on a terminal: one numbered list with
// each drive's address, model and revision, asked where questions go (never
// into captured output). Returns the row, or -1 at the end of input.
int AskForDevice(ProgramFrontEnd& frontEnd) {
  std::string question = "Several XPM-3177K drives found:\n";
  for (int row = 0; row < g_deviceCount; ++row) {
    char line[96];
    std::snprintf(line, sizeof line, "  %d) %u:%u  ", row + 1,
                  static_cast<unsigned>(DeviceTable[row].adapterId),
                  static_cast<unsigned>(DeviceTable[row].targetId));
    question += line + PrintableText(DeviceTable[row].model) + "  " +
                PrintableText(DeviceTable[row].revision) + "\n";
  }
  const std::string count = std::to_string(g_deviceCount);
  question += "Device number (1-" + count + "): ";
  for (;;) {
    const std::optional<std::string> answer = frontEnd.Ask(question);
    if (!answer) return -1;
    int number = 0;
    const char* end = answer->data() + answer->size();
    const auto [stop, error] = std::from_chars(answer->data(), end, number);
    if (error == std::errc() && stop == end && number >= 1 && number <= g_deviceCount)
      return number - 1;
    question = "Please enter a number from 1 to " + count + ": ";
  }
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

// The application itself, driven as the options ask.
Outcome RunMainWindow(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                      const RunProvider& transport) {
  RunContext run;
  RunRequest& request = run.request;
  const RunRecord& record = run.record;
  request.hasPreferredDevice = options.hasDevice;
  request.preferredAdapter = options.deviceAdapter;
  request.preferredTarget = options.deviceTarget;
  // Several drives: the user chooses on a terminal or in the window; --yes
  // and scripts never get a drive picked for them.
  const bool userWorksTheWindow = !options.yes && frontEnd.UserWorksTheWindow();
  request.mayAskForDevice = !options.yes && (frontEnd.CanAsk() || userWorksTheWindow);
  request.explainFailures = userWorksTheWindow;
  request.expectedSha256 = options.expectedSha256;
  request.hasExpectedChecksum = options.hasExpectedChecksum;
  request.expectedChecksum = options.expectedChecksum;
  if (options.hasImage) request.initialImage = options.imagePath;
  if (WindowWatcher* watcher = frontEnd.Watcher()) request.watchers.push_back(watcher);
  request.waitPump = frontEnd.WaitPump();
  if (request.mayAskForDevice && !userWorksTheWindow)
    request.askForDevice = [&frontEnd] { return AskForDevice(frontEnd); };
  if (userWorksTheWindow) {
    request.noDriveCause = [&transport] {
      return std::string(transport.AccessDenied() ? kTextNeedAdministrator : "");
    };
    request.takeUnseenNotes = [&frontEnd] { return frontEnd.TakeUnseenNotes(); };
  }

  // A signal before the download ends the program with nothing sent; after
  // it, the flow stops early and the warning below is given.
  InstallInterruptionHandlers(kCommandName, std::string(kCommandName) + ": " +
                                                kInterruptedLines[0] + "\n" + kCommandName + ": " +
                                                kInterruptedLines[1]);
  DownloadAutomation automation(options, frontEnd, run);
  // What a signal that ends the run prints with --json: the summary of what
  // the window has shown so far, renewed whenever the run waits.
  bool startedUp = false;  // the scan and the tray are over
  auto publish = [&options, &transport, &automation, &startedUp, &run] {
    if (!options.json) return;
    const LiveState live{startedUp, automation.DownloadClicked()};
    PublishInterruptionSummary(RunSummary(run, Outcome::kInterrupted, transport.Replay(), {},
                                          automation.GuardWarning(), live) +
                               "\n");
  };
  publish();
  // A run that cannot download is found before the drive's tray is opened.
  request.refusalBeforeTray = [&automation, &publish, userWorksTheWindow] {
    publish();
    return userWorksTheWindow ? std::string() : automation.RefusalBeforeTray();
  };
  // A tray that did not open is told when start-up is over, before anything
  // else happens.
  bool trayTold = false;
  auto tellTray = [&frontEnd, &trayTold, &record] {
    if (!trayTold && record.driveChosen && record.trayFailed) frontEnd.PrintError(TrayLine(record));
    trayTold = true;
  };
  if (!userWorksTheWindow) {
    frontEnd.SetIdleHandler([&automation, &tellTray, &publish, &startedUp] {
      startedUp = true;
      tellTray();
      const bool more = automation.OnIdle();
      publish();
      return more;
    });
  }
  frontEnd.BeforeMainWindow(record);
  const int appStatus = AppMain(ProgramInstance(), frontEnd.ShowCommand(), run);
  frontEnd.AfterMainWindow(record);
  tellTray();
  if (!userWorksTheWindow) frontEnd.SetIdleHandler(nullptr);

  Outcome outcome = appStatus == kStartUpFailedStatus ? Outcome::kInternalFailure : record.outcome;
  // What a person saw in the window's "Why" boxes is not told in a box again.
  const bool shownInWindow = request.explainFailures;
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
    TellNotAccepted(frontEnd, run.scan, shownInWindow);
    tellAgain(
        "No XPM-3177K drive was accepted; 'qtr5-download --list' shows what the "
        "scan found");
  }
  if (outcome == Outcome::kNotReady) frontEnd.PrintError(record.notReady);
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
  outcome = JudgeReplay(transport, frontEnd, options, outcome);
  // An emulated drive's state that could not be kept is said before the
  // summary, which gives it as a warning too.
  const std::string stateWarning = StateWarning(transport);
  if (!stateWarning.empty()) frontEnd.PrintError(stateWarning);
  if (options.json)
    PrintFinalSummary(frontEnd, RunSummary(run, outcome, transport.Replay(), stateWarning,
                                           automation.GuardWarning()));
  return outcome;
}

}  // namespace

int DesktopExitStatus(const ProgramOptions& options, int status) {
  if (options.yes || options.check || options.list) return status;
  if (status == ExitStatus(Outcome::kUsageError) || status == ExitStatus(Outcome::kInternalFailure))
    return status;
  return ExitStatus(Outcome::kSuccess);
}

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
      const std::string message = "--device " + PrintableText(options.deviceName) +
                                  ": no device at target 0 to 7 of this machine goes by that "
                                  "name (see --list); nothing was sent";
      frontEnd.PrintError(message);
      if (options.json) frontEnd.PrintLine(NothingDoneSummary(Outcome::kNoDrive, message));
      return ExitStatus(Outcome::kNoDrive);
    }
    resolved.deviceAdapter = adapter;
    resolved.deviceTarget = target;
  }
  const Outcome outcome =
      resolved.list ? JudgeReplay(transport, frontEnd, resolved, RunList(resolved, frontEnd))
                    : RunMainWindow(resolved, frontEnd, transport);
  if (resolved.list && !StateWarning(transport).empty())
    frontEnd.PrintError(StateWarning(transport));
  return ExitStatus(outcome);
}
