// DownloadApp::ScanDevices and OpenTray: choosing the one drive to flash.
#include <cstdio>

#include "app/download_app.h"
#include "app/interruption.h"
#include "app/run_context.h"
#include "app/select_device.h"
#include "aspi/command_failure.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "resources/resource_ids.h"

namespace {

constexpr const char* kTextOpenTray = "Open Tray...";
constexpr const char* kTextSeveralDrives = "Several drives found: choose one with --device A:T";
constexpr const char* kTextDeviceChoiceCanceled = "Download canceled by user...";
constexpr std::uint8_t kOpenTray = 0x02;  // LoEj 1, Start 0

int FindEntry(std::uint8_t adapter, std::uint8_t target) {
  for (int row = 0; row < g_deviceCount; ++row) {
    if (DeviceTable[row].adapterId == adapter && DeviceTable[row].targetId == target) return row;
  }
  return -1;
}

}  // namespace

bool DownloadApp::ScanDevices() {
  const RunRequest& request = run.request;
  RunRecord& record = run.record;
  int accepted = 0;
  SweepDevices(device, run.scan, &accepted,
               [](std::uint32_t ms) { return InterruptibleSleep(ms); });
  record.drivesAccepted = accepted;
  record.driveChosen = false;
  record.scanRefusal.clear();
  record.notReady.clear();
  record.deviceChoiceCanceled = false;

  int row = -1;
  if (g_deviceCount == 0) {
    // A drive that stayed not ready is named, not taken for no drive.
    record.notReady = NotReadyText(run.scan);
  } else if (request.hasPreferredDevice) {
    row = FindEntry(request.preferredAdapter, request.preferredTarget);
    const ScanEntry* preferred =
        FindScanEntry(run.scan, request.preferredAdapter, request.preferredTarget);
    if (row < 0 && preferred != nullptr && preferred->finding == ScanFinding::kNotReady) {
      record.notReady = NotReadyText(run.scan, preferred);
    } else if (row < 0) {
      char text[96];
      const int length = std::snprintf(text, sizeof text, "No XPM-3177K drive at %u:%u",
                                       static_cast<unsigned>(request.preferredAdapter),
                                       static_cast<unsigned>(request.preferredTarget));
      // Drives past the full table were accepted but not kept: the address
      // may well hold one, which only cannot be chosen.
      if (accepted > g_deviceCount && length > 0 && length < static_cast<int>(sizeof text)) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                      " among the first %d of %d found", static_cast<int>(g_deviceCount), accepted);
      }
      record.scanRefusal = text;
    }
  } else if (g_deviceCount == 1) {
    row = 0;
  } else if (!request.mayAskForDevice) {
    record.scanRefusal = kTextSeveralDrives;
  } else if (request.askForDevice) {
    row = request.askForDevice();
    if (row < 0 || row >= g_deviceCount) {
      row = -1;
      record.deviceChoiceCanceled = true;
      record.scanRefusal = kTextDeviceChoiceCanceled;
    }
  } else {
    const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(kDialogSelectDevice),
                                           mainWindow, SelectDeviceProc, 0);
    // A dialog that could not be created (-1), or any answer outside the
    // table, chooses the first drive, as closing without a selection does.
    row = (answer >= 0 && answer < g_deviceCount) ? static_cast<int>(answer) : 0;
  }
  if (!record.notReady.empty()) record.scanRefusal = record.notReady;
  if (row < 0) {
    // A drive that is not ready yet is not "no drive": the run may succeed
    // a little later.
    if (!record.notReady.empty()) {
      record.outcome = Outcome::kNotReady;
    } else if (record.deviceChoiceCanceled) {
      record.outcome = Outcome::kNotDownloaded;
    } else if (record.scanRefusal == kTextSeveralDrives) {
      record.outcome = Outcome::kRefusedToGuess;
    } else {
      record.outcome = Outcome::kNoDrive;
    }
    // The sweep left the device at the last address it asked; no command
    // may reach that address.
    device.ClearTarget();
    return false;
  }

  const DeviceEntry& entry = DeviceTable[row];
  device.SelectAdapter(entry.adapterId);
  device.SelectTarget(entry.targetId);
  record.driveChosen = true;
  record.chosenAdapter = entry.adapterId;
  record.chosenTarget = entry.targetId;
  record.outcome = Outcome::kNotDownloaded;

  char address[16];
  std::snprintf(address, sizeof address, "%d : %d", entry.adapterId, entry.targetId);
  ShowText(kRowDevice, address);
  ShowText(kRowModel, entry.model);
  ShowText(kRowRevision, entry.revision);
  return true;
}

// A tray that does not open does not stop the flow (the drive takes its
// firmware with the tray closed too), but the run record keeps why, so that
// a front end can say so.
void DownloadApp::OpenTray() {
  ShowText(kIdStatus, kTextOpenTray);
  device.SetCommand(kStartStopUnitTemplate, SRB_DIR_IN, 0);
  device.commandBlock[4] = kOpenTray;
  RunRecord& record = run.record;
  record.trayFailed = !device.ExecuteWait();
  record.trayFailure = record.trayFailed ? LastCommandFailure(device).Describe() : std::string();
}
