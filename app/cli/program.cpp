#include "app/cli/program.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/cli/automation.h"
#include "app/cli/printable.h"
#include "app/cli/transport.h"
#include "app/entry.h"
#include "app/run_options.h"
#include "aspi/aspi_device.h"
#include "discovery/device_table.h"
#include "emulator/emulated_bus.h"
#include "image/image_check.h"
#include "platform/winapi.h"

#ifndef _WIN32
#include "app/cli/time_scale.h"
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

// A drive that completed the download command but never answered after it
// may still be writing its new firmware: switched off now, it may be lost.
constexpr const char* kUnansweredLines[] = {
    "The drive took the image but did not answer afterwards: it may still be reprogramming "
    "itself.",
    "Do not switch the machine off. Wait a few minutes, then check the drive's revision with "
    "'qtr5-download --list' and reboot.",
};

bool DriveTookImageButDidNotAnswer() {
  return g_runOutcome.downloadTaken && !g_runOutcome.downloadSucceeded;
}

// --replay: says how the run compared with the recording. A run that left
// the recording proves nothing about the recorded drives and gets a status
// of its own; one that stopped short of the recording's end keeps its own.
ProgramOutcome JudgeReplay(const Transport& transport, ProgramFrontEnd& frontEnd,
                           const ProgramOptions& options, ProgramOutcome outcome) {
  const std::optional<Transport::ReplayState> replay = transport.Replay();
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
  const int result = RunImageCheck(options.checkFile.c_str(),
                                   options.saveImage ? options.saveImagePath.c_str() : nullptr,
                                   frontEnd.Output(), frontEnd.ErrorOutput());
  if (result == kImageCheckBuilt) return ProgramOutcome::kSuccess;
  if (result == kImageCheckNotBuilt) return ProgramOutcome::kFailed;
  frontEnd.PrintError("--check needs a file name");
  return ProgramOutcome::kUsageError;
}

// --list: the sweep of the start-up on a device of its own; no tray is
// opened and no drive is chosen.
ProgramOutcome RunList(const ProgramOptions& options, ProgramFrontEnd& frontEnd) {
  AspiDevice device;
  if (!device.IsAvailable()) frontEnd.PrintError("No SCSI host adapter is available");
  int found = 0;
  SweepDevices(device, &found);
  device.ClearTarget();

  if (options.json) {
    nlohmann::json drives = nlohmann::json::array();
    for (int row = 0; row < g_deviceCount; ++row) {
      const DeviceEntry& entry = DeviceTable[row];
      drives.push_back({{"adapter", entry.adapterId},
                        {"target", entry.targetId},
                        {"model", JsonText(entry.model)},
                        {"revision", JsonText(entry.revision)}});
    }
    frontEnd.PrintLine(Dump(nlohmann::json{{"drives", drives}, {"drivesFound", found}}));
  } else if (g_deviceCount > 0) {
    frontEnd.PrintLine("Adapter  Target  Model                     Revision");
    for (int row = 0; row < g_deviceCount; ++row) {
      const DeviceEntry& entry = DeviceTable[row];
      char line[160];
      std::snprintf(line, sizeof line, "%-8u %-7u %-25s %s", static_cast<unsigned>(entry.adapterId),
                    static_cast<unsigned>(entry.targetId), PrintableText(entry.model).c_str(),
                    PrintableText(entry.revision).c_str());
      frontEnd.PrintLine(line);
    }
  }
  if (found > g_deviceCount) {
    frontEnd.PrintError(std::to_string(found - g_deviceCount) +
                        " more drive(s) found; only the first " + std::to_string(kDeviceTableSize) +
                        " are listed");
  }
  if (g_deviceCount == 0) {
    frontEnd.PrintError("No XPM-3177K drive found");
    return ProgramOutcome::kNoDrive;
  }
  return ProgramOutcome::kSuccess;
}

ProgramOutcome Classify(int appStatus, const DownloadAutomation& automation,
                        const ProgramOptions& options) {
  const RunOutcome& run = g_runOutcome;
  if (appStatus == kStartUpFailedStatus || run.startUpFailed)
    return ProgramOutcome::kInternalFailure;
  if (!run.driveChosen) {
    const bool severalUnchosen =
        run.drivesAccepted > 1 && !options.hasDevice && !run.scanRefusal.empty();
    return severalUnchosen ? ProgramOutcome::kRefusedToGuess : ProgramOutcome::kNoDrive;
  }
  if (run.downloadSucceeded) return ProgramOutcome::kSuccess;
  if (run.imageReadFailed || run.downloadAttempted || automation.NoImage() ||
      automation.ImageUnreadable())
    return ProgramOutcome::kFailed;
  return ProgramOutcome::kNotDownloaded;
}

// --json: what the run did, as one JSON object. Texts are given as their
// bytes (device strings and file names need not be valid UTF-8: see JsonText).
std::string RunSummary(ProgramOutcome outcome, const DownloadAutomation::Snapshot& shown,
                       const std::optional<Transport::ReplayState>& replay) {
  const RunOutcome& run = g_runOutcome;
  auto text = [](const std::string& value) -> nlohmann::json {
    if (value.empty()) return nullptr;
    return JsonText(value);
  };
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  summary["drivesFound"] = run.drivesAccepted;
  if (run.driveChosen && shown.taken) {
    summary["drive"] = {{"adapter", run.chosenAdapter},
                        {"target", run.chosenTarget},
                        {"model", JsonText(shown.rows[2])},
                        {"revision", JsonText(shown.rows[3])}};
  } else {
    summary["drive"] = nullptr;
  }
  summary["image"] = text(shown.imageFile);
  summary["checksum"] = text(shown.rows[1]);
  summary["newRevision"] = text(shown.rows[4]);
  summary["statusLine"] = text(shown.statusLine);
  summary["driveTookImage"] = run.downloadTaken;
  if (DriveTookImageButDidNotAnswer()) {
    summary["warning"] = std::string(kUnansweredLines[0]) + " " + kUnansweredLines[1];
  } else {
    summary["warning"] = nullptr;
  }
  if (replay) {
    summary["replay"] = {{"diverged", replay->diverged}, {"commandsNotSent", replay->notSent}};
  }
  return Dump(summary);
}

// The application itself, driven as the options ask.
ProgramOutcome RunMainWindow(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                             const Transport& transport) {
  ResetRunState();
  g_runOptions.hasPreferredDevice = options.hasDevice;
  g_runOptions.preferredAdapter = options.deviceAdapter;
  g_runOptions.preferredTarget = options.deviceTarget;
  // Several drives: the user chooses on a terminal or in the window; --yes
  // and scripts never get a drive picked for them.
  const bool userWorksTheWindow = !options.yes && frontEnd.UserWorksTheWindow();
  g_runOptions.mayAskForDevice = !options.yes && (frontEnd.CanAsk() || userWorksTheWindow);
  if (options.hasImage) g_runOptions.initialImage = options.imagePath;
  if (g_runOptions.mayAskForDevice && !userWorksTheWindow) {
    // The question lists models and revisions only; say where each drive is.
    g_runOptions.beforeDeviceQuestion = [&frontEnd] {
      frontEnd.PrintLine("Several XPM-3177K drives found, listed in this order:");
      for (int row = 0; row < g_deviceCount; ++row) {
        frontEnd.PrintLine("  " + std::to_string(row + 1) + ") adapter " +
                           std::to_string(DeviceTable[row].adapterId) + ", target " +
                           std::to_string(DeviceTable[row].targetId));
      }
    };
  }

  DownloadAutomation automation(options, frontEnd);
  if (!userWorksTheWindow) frontEnd.SetIdleHandler([&automation] { return automation.OnIdle(); });
  const int appStatus = AppMain(ProgramInstance(), SW_SHOWNORMAL);
  if (!userWorksTheWindow) frontEnd.SetIdleHandler(nullptr);
  g_runOptions.beforeDeviceQuestion = nullptr;

  ProgramOutcome outcome = Classify(appStatus, automation, options);
  if (outcome == ProgramOutcome::kRefusedToGuess) {
    frontEnd.PrintError(std::to_string(g_runOutcome.drivesAccepted) +
                        " drives found and none chosen: pick one with --device A:T (see "
                        "--list); no tray was opened and nothing was downloaded");
  }
  if (DriveTookImageButDidNotAnswer()) {
    for (const char* line : kUnansweredLines) frontEnd.PrintError(line);
  }
  outcome = JudgeReplay(transport, frontEnd, options, outcome);
  if (options.json) frontEnd.PrintLine(RunSummary(outcome, automation.Shown(), transport.Replay()));
  return outcome;
}

}  // namespace

std::optional<int> FinishUnlessRun(const ParseResult& parsed) {
  switch (parsed.action) {
    case ParseAction::kHelp:
    case ParseAction::kVersion:
      std::printf("%s\n", parsed.text.c_str());
      return ExitStatus(ProgramOutcome::kSuccess);
    case ParseAction::kUsageError:
      std::fprintf(stderr, "%s\n", parsed.text.c_str());
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
  if (!scaleError.empty()) {
    frontEnd.PrintError(scaleError);
    return ExitStatus(ProgramOutcome::kUsageError);
  }
  if (scale && !options.emulate && !options.replay) {
    frontEnd.PrintError("QTR5_TIME_SCALE is ignored: it is meant for emulated drives only");
    scale.reset();
  }
#endif

  Transport transport;
  std::string problem;
  if (!transport.Open(options, frontEnd, problem)) {
    frontEnd.PrintError(problem);
    return ExitStatus(ProgramOutcome::kUsageError);
  }
  transport.Install();
#ifndef _WIN32
  if (scale) InstallTimeScale(*scale, transport.Bus());
#endif
  const ProgramOutcome outcome =
      options.list ? JudgeReplay(transport, frontEnd, options, RunList(options, frontEnd))
                   : RunMainWindow(options, frontEnd, transport);
  if (transport.Bus() != nullptr && !transport.Bus()->LastStateError().empty())
    frontEnd.PrintError("--emulate-state: the drive's new state was not kept: " +
                        transport.Bus()->LastStateError());
  return ExitStatus(outcome);
}
