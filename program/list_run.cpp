#include "program/list_run.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "aspi/aspi_device.h"
#include "aspi/aspi_provider.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "program/program.h"
#include "program/program_front_end.h"
#include "program/run_summary.h"
#include "session/flash_session.h"
#include "system/interruption.h"
#include "text/printable.h"

namespace {

// The names that stay with a device when adapter numbers shift (see
// AspiProvider::DeviceNames); none for emulated drives.
std::vector<std::string> NamesOf(std::uint8_t adapter, std::uint8_t target) {
  const AspiProvider* provider = InstalledAspiProvider();
  return provider == nullptr ? std::vector<std::string>{} : provider->DeviceNames(adapter, target);
}

std::string JoinedNames(std::uint8_t adapter, std::uint8_t target) {
  std::string text;
  for (const std::string& name : NamesOf(adapter, target))
    text += (text.empty() ? "" : " ") + PrintableText(name);
  return text;
}

}  // namespace

// --json: the summary of a run, once. A signal may have taken it first: the
// program is then ending with the summary the signal handler wrote, and this
// thread only waits for that end.
void PrintFinalSummary(ProgramFrontEnd& frontEnd, const std::string& summary) {
  if (TakeInterruptionSummary()) {
    frontEnd.PrintLine(summary);
    return;
  }
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// Every device that answered but was not accepted, and why: a drive that
// was not ready, a CD-ROM of another model.
void TellNotAccepted(ProgramFrontEnd& frontEnd, const ScanRecord& scan, bool shownInWindow) {
  for (const ScanEntry& entry : scan) {
    if (entry.finding == ScanFinding::kAccepted || entry.finding == ScanFinding::kNoDevice)
      continue;
    std::string seen;
    if (!entry.failure.failed)
      seen = " \"" + PrintableText(entry.model) + "\" \"" + PrintableText(entry.revision) + "\"";
    const std::string names = JoinedNames(entry.adapter, entry.target);
    const std::string line =
        "Not accepted at " + std::to_string(entry.adapter) + ":" + std::to_string(entry.target) +
        (names.empty() ? "" : " (" + names + ")") + seen + ": " + entry.Reason();
    if (shownInWindow) {
      frontEnd.PrintErrorShownInWindow(line);
    } else {
      frontEnd.PrintError(line);
    }
  }
}

// --list: the sweep of the start-up on a device of its own; no tray is
// opened and no drive is chosen.
Outcome RunList(const ProgramOptions& options, ProgramFrontEnd& frontEnd) {
  // A signal ends the list at once, as it ends a run before its download.
  InstallInterruptionHandlers(frontEnd.ProgramName(),
                              std::string(frontEnd.ProgramName()) + ": interrupted");
  if (options.json) PublishInterruptionSummary(InterruptedListSummary() + "\n");
  AspiDevice device;
  if (!device.IsAvailable()) frontEnd.PrintError("No SCSI host adapter is available");
  ScanRecord scan;
  const int found = SweepForDrives(device, scan);

  if (options.json) {
    nlohmann::json drives = nlohmann::json::array();
    for (int row = 0; row < g_deviceCount; ++row) {
      const DeviceEntry& entry = DeviceTable[row];
      drives.push_back(
          {{"adapter", entry.adapterId},
           {"target", entry.targetId},
           {"model", JsonText(FullModelText(scan, entry.adapterId, entry.targetId, entry.model))},
           {"revision", JsonText(entry.revision)},
           {"names", NamesOf(entry.adapterId, entry.targetId)}});
    }
    nlohmann::json rejected = nlohmann::json::array();
    for (const ScanEntry& entry : scan) {
      if (entry.finding == ScanFinding::kAccepted || entry.finding == ScanFinding::kNoDevice)
        continue;
      const bool answered = !entry.failure.failed;
      rejected.push_back(
          {{"adapter", entry.adapter},
           {"target", entry.target},
           {"finding", ScanFindingName(entry.finding)},
           {"model", answered ? nlohmann::json(JsonText(entry.model)) : nullptr},
           {"revision", answered ? nlohmann::json(JsonText(entry.revision)) : nullptr},
           {"reason", entry.Reason()}});
    }
    PrintFinalSummary(frontEnd,
                      JsonLine(nlohmann::json{
                          {"drives", drives}, {"drivesFound", found}, {"rejected", rejected}}));
  } else if (g_deviceCount > 0) {
    // Where the transport names its devices, a last column gives the
    // names that --device takes and that do not change with adapter numbers.
    bool named = false;
    for (int row = 0; row < g_deviceCount; ++row)
      named = named || !NamesOf(DeviceTable[row].adapterId, DeviceTable[row].targetId).empty();
    frontEnd.PrintLine(named ? "Adapter  Target  Model                     Revision  Device"
                             : "Adapter  Target  Model                     Revision");
    for (int row = 0; row < g_deviceCount; ++row) {
      const DeviceEntry& entry = DeviceTable[row];
      const std::string model =
          PrintableText(FullModelText(scan, entry.adapterId, entry.targetId, entry.model));
      char line[160];
      std::snprintf(line, sizeof line, named ? "%-8u %-7u %-25s %-9s " : "%-8u %-7u %-25s %s",
                    static_cast<unsigned>(entry.adapterId), static_cast<unsigned>(entry.targetId),
                    model.c_str(), PrintableText(entry.revision).c_str());
      frontEnd.PrintLine(named ? line + JoinedNames(entry.adapterId, entry.targetId)
                               : std::string(line));
    }
  }
  TellNotAccepted(frontEnd, scan);
  if (found > g_deviceCount) {
    frontEnd.PrintError(std::to_string(found - g_deviceCount) +
                        " more drive(s) found; only the first " + std::to_string(kDeviceTableSize) +
                        " are listed");
  }
  if (g_deviceCount == 0 && !NotReadyText(scan).empty()) {
    frontEnd.PrintError(NotReadyText(scan));
    return Outcome::kNotReady;
  }
  if (g_deviceCount == 0 && !NotAnsweringText(scan).empty()) {
    frontEnd.PrintError(NotAnsweringText(scan));
    return Outcome::kNotAnswering;
  }
  if (g_deviceCount == 0) {
    frontEnd.PrintError("No XPM-3177K drive found");
    return Outcome::kNoDrive;
  }
  return Outcome::kSuccess;
}
