#include "program/program.h"

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/interruption.h"
#include "app/run_options.h"
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
#include "text/printable.h"
#include "transports/emulated/emulated_bus.h"
#include "winui/winapi.h"

#ifndef _WIN32
#include "program/time_scale.h"
#endif

namespace {

HINSTANCE ProgramInstance() {
#ifdef _WIN32
  return GetModuleHandleA(nullptr);
#else
  return nullptr;
#endif
}

// JSON text as one line. Every string in it went through JsonText, so it is
// valid UTF-8; should one not be, it is replaced rather than thrown at.
template <typename Json>
std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

constexpr const char* kProgramName = "qtr5-download";

// A drive that completed the download command but never answered after it
// may still be writing its new firmware: switched off now, it may be lost.
constexpr const char* kUnansweredLines[] = {
    "The drive took the image but did not answer afterwards: it may still be reprogramming "
    "itself.",
    "Do not switch the machine off. Wait a few minutes, then check the drive's revision with "
    "'qtr5-download --list' and reboot.",
};

// The same when a signal cut the waits after the download short.
constexpr const char* kInterruptedLines[] = {
    "Interrupted after the drive took the image: it may still be reprogramming itself.",
    kUnansweredLines[1],
};

bool DriveTookImageButDidNotAnswer() {
  return g_runOutcome.downloadTaken && !g_runOutcome.downloadSucceeded;
}

// Why no drive was found when Windows refused the pass-through for want of
// rights: said first in the box that explains it.
constexpr const char* kTextNeedAdministrator =
    "Administrator rights are needed: Windows refused this program access to the CD-ROM "
    "drives. Close the program, then right-click it and choose \"Run as administrator\" (on "
    "Windows XP: log on as an administrator).";

// A download command that never ended may have reached the drive all the
// same: the same advice holds.
constexpr const char* kDownloadTimedOutLine =
    "The download command did not end within its time limit: the drive may have taken the image "
    "and may still be reprogramming itself.";

// The warning of a run whose drive may hold new firmware without having
// said so; empty when there is nothing to warn of.
std::vector<std::string> DownloadWarningLines() {
  if (DriveTookImageButDidNotAnswer() && g_runOutcome.interruptedBy != 0)
    return {kInterruptedLines[0], kInterruptedLines[1]};
  if (DriveTookImageButDidNotAnswer()) return {kUnansweredLines[0], kUnansweredLines[1]};
  if (g_runOutcome.downloadTimedOut) return {kDownloadTimedOutLine, kUnansweredLines[1]};
  return {};
}

std::string TrayLine() {
  return "The tray did not open: " + g_runOutcome.trayFailure +
         ". The drive takes its firmware with the tray closed as well.";
}

// --replay: says how the run compared with the recording. A run that left
// the recording proves nothing about the recorded drives and gets a status
// of its own; one that stopped short of the recording's end keeps its own.
ProgramOutcome JudgeReplay(const RunProvider& transport, ProgramFrontEnd& frontEnd,
                           const ProgramOptions& options, ProgramOutcome outcome) {
  const std::optional<RunProvider::ReplayState> replay = transport.Replay();
  if (!replay) return outcome;
  const std::string name = "--replay " + PrintableText(options.replayPath) + ": ";
  if (replay->diverged)
    frontEnd.PrintError(name + "the run differed from the recording (see above)");
  if (replay->notSent > 0)
    frontEnd.PrintError(name + std::to_string(replay->notSent) +
                        " recorded command(s) were never sent by this run");
  return replay->diverged ? ProgramOutcome::kReplayDiverged : outcome;
}

ProgramOutcome RunCheck(const ProgramOptions& options, ProgramFrontEnd& frontEnd) {
  // With --json the check's lines go to standard error, its summary alone
  // to standard output.
  ImageCheckReport report;
  const ImageCheckResult result = RunImageCheck(
      options.checkFile.c_str(), options.saveImage ? options.saveImagePath.c_str() : nullptr,
      options.json ? frontEnd.ErrorOutput() : frontEnd.Output(), frontEnd.ErrorOutput(), &report);
  if (result == kImageCheckUsage) {
    frontEnd.PrintError("--check needs a file name");
    return ProgramOutcome::kUsageError;
  }
  const ProgramOutcome outcome =
      result == kImageCheckBuilt ? ProgramOutcome::kSuccess : ProgramOutcome::kFailed;
  if (options.json) frontEnd.PrintLine(CheckSummary(outcome, options.checkFile, report));
  return outcome;
}

ProgramOutcome Classify(int appStatus, const DownloadAutomation& automation,
                        const ProgramOptions& options) {
  const RunOutcome& run = g_runOutcome;
  if (appStatus == kStartUpFailedStatus || run.startUpFailed)
    return ProgramOutcome::kInternalFailure;
  if (run.deviceChoiceCanceled) return ProgramOutcome::kNotDownloaded;
  if (!run.driveChosen) {
    // A drive that is not ready yet is not "no drive": the run may succeed
    // a little later.
    if (!run.notReady.empty()) return ProgramOutcome::kNotReady;
    const bool severalUnchosen =
        run.drivesAccepted > 1 && !options.hasDevice && !run.scanRefusal.empty();
    return severalUnchosen ? ProgramOutcome::kRefusedToGuess : ProgramOutcome::kNoDrive;
  }
  if (run.downloadSucceeded) return ProgramOutcome::kSuccess;
  if (run.interruptedBy != 0) return ProgramOutcome::kInterrupted;
  // The drive took the image, or may have, and the check could not confirm
  // it: not a failure a retry would mend.
  if (run.downloadTaken || run.downloadTimedOut) return ProgramOutcome::kUnconfirmed;
  if (run.imageReadFailed || run.downloadAttempted || automation.NoImage() ||
      automation.ImageUnreadable())
    return ProgramOutcome::kFailed;
  return ProgramOutcome::kNotDownloaded;
}

// --emulate-state: the line that says a drive's new state was not kept;
// empty when it was (or there is none).
std::string StateWarning(const RunProvider& transport) {
  if (transport.Bus() == nullptr || transport.Bus()->LastStateError().empty()) return {};
  return "--emulate-state: the drive's new state was not kept: " +
         PrintableText(transport.Bus()->LastStateError());
}

// --json: what the run did, as one JSON object. Texts are given as their
// bytes (device strings and file names need not be valid UTF-8: see JsonText).
// For a signal that may end the run from now on (`live`), with what the
// window shows so far: whether the tray command has ended (before, its
// outcome is not known), and whether the download command may be on its
// way, so that the warning of an interrupted download is given.
struct LiveState {
  bool trayEnded = true;
  bool downloadStarted = false;
};

std::string RunSummary(ProgramOutcome outcome,
                       const std::optional<RunProvider::ReplayState>& replay,
                       const std::string& stateWarning, const std::string& guardWarning,
                       const std::optional<LiveState>& live = std::nullopt) {
  const RunOutcome& run = g_runOutcome;
  const bool shownNow = run.mainWindowClosed || live.has_value();
  auto text = [](const std::string& value) -> nlohmann::json {
    if (value.empty()) return nullptr;
    return JsonText(value);
  };
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  summary["drivesFound"] = run.drivesAccepted;
  // What the main window showed as it went.
  if (run.driveChosen && shownNow) {
    summary["drive"] = {
        {"adapter", run.chosenAdapter},
        {"target", run.chosenTarget},
        {"model", JsonText(FullModelText(run.chosenAdapter, run.chosenTarget, run.model.c_str()))},
        {"revision", JsonText(run.revision)}};
  } else {
    summary["drive"] = nullptr;
  }
  const auto shown = [shownNow, &text](const std::string& value) {
    return shownNow ? text(value) : nlohmann::json(nullptr);
  };
  summary["image"] = shown(run.imageFile);
  summary["checksum"] = shown(run.checksum);
  if (!run.imageSha256.empty()) summary["imageSha256"] = run.imageSha256;
  summary["imageNotExpected"] = run.imageNotExpected;
  summary["newRevision"] = shown(run.newRevision);
  if (!run.newModel.empty()) summary["newModel"] = JsonText(run.newModel);
  summary["statusLine"] = shown(run.statusLine);
  if (live && !live->trayEnded) {
    summary["tray"] = nullptr;
  } else if (run.driveChosen && run.refusedBeforeTray) {
    summary["tray"] = {{"opened", false}, {"reason", "not opened: this run could not download"}};
  } else if (run.driveChosen) {
    summary["tray"] = {{"opened", !run.trayFailed},
                       {"reason", text(run.trayFailed ? run.trayFailure : std::string())}};
  } else {
    summary["tray"] = nullptr;
  }
  summary["driveTookImage"] = run.downloadTaken;
  // A run refused before the tray says why as its status line does.
  std::string reason = run.notReady.empty() ? run.failureReason : run.notReady;
  if (reason.empty() && run.refusedBeforeTray) reason = run.statusLine;
  summary["reason"] = text(reason);
  std::vector<std::string> warning =
      run.driveMayBeBusy ? std::vector<std::string>{run.failureAdvice} : DownloadWarningLines();
  if (live && live->downloadStarted && warning.empty())
    warning = {kInterruptedLines[0], kInterruptedLines[1]};
  if (!run.imageWarning.empty()) warning.insert(warning.begin(), run.imageWarning + ".");
  if (!stateWarning.empty()) warning.push_back(stateWarning);
  if (!guardWarning.empty()) warning.push_back(guardWarning);
  if (!warning.empty()) {
    std::string joined;
    for (const std::string& line : warning) joined += (joined.empty() ? "" : " ") + line;
    summary["warning"] = JsonText(joined);
  } else {
    summary["warning"] = nullptr;
  }
  if (replay) {
    summary["replay"] = {{"diverged", replay->diverged}, {"commandsNotSent", replay->notSent}};
  }
  return Dump(summary);
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
  return NothingDoneSummary(ProgramOutcome::kUsageError, message);
}

// A usage error found once the options were parsed: the message made
// printable (it may quote a layout or a file name as typed), and the JSON
// summary when one is asked for.
ProgramOutcome UsageError(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                          const std::string& message) {
  frontEnd.PrintError(PrintableText(message));
  if (options.json) frontEnd.PrintLine(UsageErrorSummary(message));
  return ProgramOutcome::kUsageError;
}

// The application itself, driven as the options ask.
ProgramOutcome RunMainWindow(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                             const RunProvider& transport) {
  ResetRunState();
  g_runOptions.hasPreferredDevice = options.hasDevice;
  g_runOptions.preferredAdapter = options.deviceAdapter;
  g_runOptions.preferredTarget = options.deviceTarget;
  // Several drives: the user chooses on a terminal or in the window; --yes
  // and scripts never get a drive picked for them.
  const bool userWorksTheWindow = !options.yes && frontEnd.UserWorksTheWindow();
  g_runOptions.mayAskForDevice = !options.yes && (frontEnd.CanAsk() || userWorksTheWindow);
  g_runOptions.explainFailures = userWorksTheWindow;
  g_runOptions.expectedSha256 = options.expectedSha256;
  g_runOptions.hasExpectedChecksum = options.hasExpectedChecksum;
  g_runOptions.expectedChecksum = options.expectedChecksum;
  if (options.hasImage) g_runOptions.initialImage = options.imagePath;
  if (g_runOptions.mayAskForDevice && !userWorksTheWindow)
    g_runOptions.askForDevice = [&frontEnd] { return AskForDevice(frontEnd); };
  if (userWorksTheWindow) {
    g_runOptions.noDriveCause = [&transport] {
      return std::string(transport.AccessDenied() ? kTextNeedAdministrator : "");
    };
    g_runOptions.takeUnseenNotes = [&frontEnd] { return frontEnd.TakeUnseenNotes(); };
  }

  // A signal before the download ends the program with nothing sent; after
  // it, the flow stops early and the warning below is given.
  InstallInterruptionHandlers(kProgramName, std::string(kProgramName) + ": " +
                                                kInterruptedLines[0] + "\n" + kProgramName + ": " +
                                                kInterruptedLines[1]);
  DownloadAutomation automation(options, frontEnd);
  // What a signal that ends the run prints with --json: the summary of what
  // the window has shown so far, renewed whenever the run waits.
  bool startedUp = false;  // the scan and the tray are over
  auto publish = [&options, &transport, &automation, &startedUp] {
    if (!options.json) return;
    const LiveState live{startedUp, automation.DownloadClicked()};
    PublishInterruptionSummary(RunSummary(ProgramOutcome::kInterrupted, transport.Replay(), {},
                                          automation.GuardWarning(), live) +
                               "\n");
  };
  publish();
  // A run that cannot download is found before the drive's tray is opened.
  g_runOptions.refusalBeforeTray = [&automation, &publish, userWorksTheWindow](HWND window) {
    publish();
    return userWorksTheWindow ? std::string() : automation.RefusalBeforeTray(window);
  };
  // A tray that did not open is told when start-up is over, before anything
  // else happens.
  bool trayTold = false;
  auto tellTray = [&frontEnd, &trayTold] {
    if (!trayTold && g_runOutcome.driveChosen && g_runOutcome.trayFailed)
      frontEnd.PrintError(TrayLine());
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
  frontEnd.BeforeMainWindow();
  const int appStatus = AppMain(ProgramInstance(), frontEnd.ShowCommand());
  tellTray();
  if (!userWorksTheWindow) frontEnd.SetIdleHandler(nullptr);
  g_runOptions.askForDevice = nullptr;
  g_runOptions.refusalBeforeTray = nullptr;
  g_runOptions.noDriveCause = nullptr;
  g_runOptions.takeUnseenNotes = nullptr;

  ProgramOutcome outcome = Classify(appStatus, automation, options);
  // "Fail to Find Device": what each address that answered was, and why it
  // was not taken.
  // What a person saw in the window's "Why" boxes is not told in a box again.
  const bool shownInWindow = g_runOptions.explainFailures;
  auto tellAgain = [&frontEnd, shownInWindow](const std::string& line) {
    if (shownInWindow) {
      frontEnd.PrintErrorShownInWindow(line);
    } else {
      frontEnd.PrintError(line);
    }
  };
  if (outcome == ProgramOutcome::kNoDrive && g_runOutcome.scanRefusal.empty()) {
    TellNotAccepted(frontEnd, shownInWindow);
    tellAgain(
        "No XPM-3177K drive was accepted; 'qtr5-download --list' shows what the "
        "scan found");
  }
  if (outcome == ProgramOutcome::kNotReady) frontEnd.PrintError(g_runOutcome.notReady);
  if (outcome == ProgramOutcome::kRefusedToGuess) {
    frontEnd.PrintError(std::to_string(g_runOutcome.drivesAccepted) +
                        " drives found and none chosen: pick one with --device A:T (see "
                        "--list); no tray was opened and nothing was downloaded");
  }
  if (!g_runOutcome.newModel.empty()) {
    frontEnd.PrintError("The drive now reports itself as \"" +
                        PrintableText(g_runOutcome.newModel) + "\" (before the download: \"" +
                        PrintableText(g_runOutcome.model) +
                        "\"): the new firmware changed the drive's identity");
  }
  // Why the download failed and what to do next, after the status line
  // that said it failed (a window worked by a person showed it in a box).
  if (!g_runOutcome.failureReason.empty()) {
    tellAgain(PrintableText(g_runOutcome.failureReason));
    if (!g_runOutcome.failureAdvice.empty())
      tellAgain("What to do: " + PrintableText(g_runOutcome.failureAdvice));
  } else {
    for (const std::string& line : DownloadWarningLines()) frontEnd.PrintError(line);
  }
  outcome = JudgeReplay(transport, frontEnd, options, outcome);
  // An emulated drive's state that could not be kept is said before the
  // summary, which gives it as a warning too.
  const std::string stateWarning = StateWarning(transport);
  if (!stateWarning.empty()) frontEnd.PrintError(stateWarning);
  if (options.json)
    PrintFinalSummary(
        frontEnd, RunSummary(outcome, transport.Replay(), stateWarning, automation.GuardWarning()));
  return outcome;
}

}  // namespace

int DesktopExitStatus(const ProgramOptions& options, int status) {
  if (options.yes || options.check || options.list) return status;
  if (status == ExitStatus(ProgramOutcome::kUsageError) ||
      status == ExitStatus(ProgramOutcome::kInternalFailure))
    return status;
  return ExitStatus(ProgramOutcome::kSuccess);
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
      return ExitStatus(StandardOutputWritten(kProgramName) ? ProgramOutcome::kSuccess
                                                            : ProgramOutcome::kFailed);
    case ParseAction::kUsageError:
      std::fprintf(stderr, "%s\n", parsed.text.c_str());
      if (parsed.options.json) std::printf("%s\n", UsageErrorJson(parsed).c_str());
      return ExitStatus(ProgramOutcome::kUsageError);
    case ParseAction::kRun:
      break;
  }
  return std::nullopt;
}

int RunProgram(const ProgramOptions& options, ProgramFrontEnd& frontEnd) {
  if (options.check) return ExitStatus(RunCheck(options, frontEnd));

#ifndef _WIN32
  std::string scaleError;
  std::optional<unsigned> scale = TimeScaleFromEnvironment(scaleError);
  if (!scaleError.empty()) return ExitStatus(UsageError(options, frontEnd, scaleError));
  if (scale && !options.emulate && !options.replay) {
    frontEnd.PrintError("QTR5_TIME_SCALE is ignored: it is meant for emulated drives only");
    scale.reset();
  }
#endif

  RunProvider transport;
  std::string problem;
  if (!transport.Open(options, frontEnd, problem))
    return ExitStatus(UsageError(options, frontEnd, problem));
  transport.Install();
#ifndef _WIN32
  if (scale) InstallTimeScale(*scale, transport.Bus());
#endif
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
      if (options.json) frontEnd.PrintLine(NothingDoneSummary(ProgramOutcome::kNoDrive, message));
      return ExitStatus(ProgramOutcome::kNoDrive);
    }
    resolved.deviceAdapter = adapter;
    resolved.deviceTarget = target;
  }
  const ProgramOutcome outcome =
      resolved.list ? JudgeReplay(transport, frontEnd, resolved, RunList(resolved, frontEnd))
                    : RunMainWindow(resolved, frontEnd, transport);
  if (resolved.list && !StateWarning(transport).empty())
    frontEnd.PrintError(StateWarning(transport));
  return ExitStatus(outcome);
}
