// FlashSession::Scan and OpenTray: choosing the one drive to flash.
#include <cstdio>
#include <functional>

#include "aspi/aspi_device.h"
#include "aspi/command_failure.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "session/flash_session.h"
#include "session/session_observer.h"
#include "session/session_questions.h"
#include "system/interruption.h"

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

// The sweep's pause between the questions to a device that is not ready
// yet, answering the front end's windows meanwhile.
const std::function<void()>* g_sweepPump = nullptr;
bool PauseOfTheSweep(std::uint32_t milliseconds) {
  return g_sweepPump != nullptr ? InterruptibleSleep(milliseconds, *g_sweepPump)
                                : InterruptibleSleep(milliseconds);
}

}  // namespace

FlashSession::FlashSession(AspiDevice& device, const SessionRequest& request, RunRecord& record,
                           ScanRecord& scan, SessionObserver& observer, SessionQuestions& questions)
    : device_(device),
      request_(request),
      record_(record),
      scan_(scan),
      observer_(observer),
      questions_(questions) {}

int SweepForDrives(AspiDevice& device, ScanRecord& scan, const std::function<void()>& waitPump) {
  int accepted = 0;
  g_sweepPump = &waitPump;
  SweepDevices(device, scan, &accepted, PauseOfTheSweep);
  g_sweepPump = nullptr;
  // The sweep left the device at the last address it asked; no command
  // may reach that address until a drive is chosen.
  device.ClearTarget();
  return accepted;
}

bool FlashSession::DriveChosen() const {
  return device_.HasTarget() && g_deviceCount != 0;
}

ScanResult FlashSession::Scan() {
  RunRecord& record = record_;
  const int accepted = SweepForDrives(device_, scan_, request_.waitPump);
  record.drivesAccepted = accepted;
  record.driveChosen = false;
  record.scanRefusal.clear();
  record.notReady.clear();
  record.notAnswering.clear();
  record.deviceChoiceCanceled = false;

  int row = -1;
  if (g_deviceCount == 0) {
    // A drive that stayed not ready, or that the system names but that
    // does not answer, is named, not taken for no drive.
    record.notReady = NotReadyText(scan_);
    if (record.notReady.empty()) record.notAnswering = NotAnsweringText(scan_);
  } else if (request_.hasPreferredDevice) {
    row = FindEntry(request_.preferredAdapter, request_.preferredTarget);
    const ScanEntry* preferred =
        FindScanEntry(scan_, request_.preferredAdapter, request_.preferredTarget);
    if (row < 0 && preferred != nullptr && preferred->finding == ScanFinding::kNotReady) {
      record.notReady = NotReadyText(scan_, preferred);
    } else if (row < 0 && !NotAnsweringText(scan_, preferred).empty()) {
      record.notAnswering = NotAnsweringText(scan_, preferred);
    } else if (row < 0) {
      char text[96];
      const int length = std::snprintf(text, sizeof text, "No XPM-3177K drive at %u:%u",
                                       static_cast<unsigned>(request_.preferredAdapter),
                                       static_cast<unsigned>(request_.preferredTarget));
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
  } else if (!request_.mayAskForDevice) {
    record.scanRefusal = kTextSeveralDrives;
  } else {
    row = questions_.ChooseDrive();
    if (row < 0 || row >= g_deviceCount) {
      row = -1;
      record.deviceChoiceCanceled = true;
      record.scanRefusal = kTextDeviceChoiceCanceled;
    }
  }
  if (!record.notReady.empty()) record.scanRefusal = record.notReady;
  if (!record.notAnswering.empty()) record.scanRefusal = record.notAnswering;
  if (row < 0) {
    ScanResult result = ScanResult::kNoDrive;
    // A drive that is not ready yet is not "no drive": the run may succeed
    // a little later.
    if (!record.notReady.empty()) {
      record.outcome = Outcome::kNotReady;
      result = ScanResult::kNotReady;
    } else if (!record.notAnswering.empty()) {
      record.outcome = Outcome::kNotAnswering;
      result = ScanResult::kNotAnswering;
    } else if (record.deviceChoiceCanceled) {
      record.outcome = Outcome::kNotDownloaded;
      result = ScanResult::kNoneChosen;
    } else if (record.scanRefusal == kTextSeveralDrives) {
      record.outcome = Outcome::kRefusedToGuess;
      result = ScanResult::kRefusedToGuess;
    } else {
      record.outcome = Outcome::kNoDrive;
    }
    return result;
  }

  const DeviceEntry& entry = DeviceTable[row];
  device_.SelectAdapter(entry.adapterId);
  device_.SelectTarget(entry.targetId);
  record.driveChosen = true;
  record.chosenAdapter = entry.adapterId;
  record.chosenTarget = entry.targetId;
  record.outcome = Outcome::kNotDownloaded;

  char address[16];
  std::snprintf(address, sizeof address, "%d : %d", entry.adapterId, entry.targetId);
  Row(ReportRow::kDevice, address);
  Row(ReportRow::kModel, entry.model);
  Row(ReportRow::kRevision, entry.revision);
  return ScanResult::kChosen;
}

bool FlashSession::OpenTray() {
  Status(kTextOpenTray);
  device_.SetCommand(kStartStopUnitTemplate, SRB_DIR_IN, 0);
  device_.commandBlock[4] = kOpenTray;
  record_.trayFailed = !device_.ExecuteWait();
  record_.trayFailure = record_.trayFailed ? LastCommandFailure(device_).Describe() : std::string();
  return !record_.trayFailed;
}
