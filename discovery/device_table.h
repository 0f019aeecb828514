// The drives of the model that the start-up sweep accepted, the command
// blocks of discovery, and the sweep itself.
#pragma once

#include <cstdint>

#include "discovery/scan_record.h"

class AspiDevice;

struct DeviceEntry {
  std::uint8_t adapterId;
  std::uint8_t targetId;
  char model[30];     // at most 24 characters
  char revision[10];  // at most 4 characters
};

inline constexpr int kDeviceTableSize = 5;

// Accepted drives in sweep order (lower adapter first, then lower target).
extern DeviceEntry DeviceTable[kDeviceTableSize];
// Valid entries of DeviceTable, 0 to 5.
extern std::uint8_t g_deviceCount;

// START STOP UNIT (byte 4 is set to 0x02 to open the tray) and INQUIRY
// (standard data, allocation length 36).
extern const std::uint8_t kStartStopUnitTemplate[12];
extern const std::uint8_t kInquiryTemplate[12];
inline constexpr std::uint32_t kInquiryLength = 36;

// What one INQUIRY told about the device the AspiDevice addresses.
struct InquiryAnswer {
  bool completed = false;  // the command ended well
  // A CD/DVD device (byte 0 is 0x05 as a whole: qualifier 0) that returned
  // its vendor and product identification (bytes 8 to 31) at least.
  bool cdRom = false;
  bool isDrive = false;  // cdRom, and the product identification ends in "3177K"
  char model[30] = {};   // from the bytes the device returned only
  char revision[10] = {};
};

// Asks INQUIRY (36 bytes) of the device's current address and judges the
// answer by the one rule for a drive of the model: byte 0 is 0x05 and the
// product identification ends in "3177K"; so 32 bytes suffice, and the
// revision (bytes 32 to 35) is what of it came. The data buffer is cleared
// before the command and, when the transport reports a residual count,
// behind the bytes the device returned, so that neither an earlier answer
// nor the image still in the buffer can be taken for the device's words.
// The start-up sweep accepts a drive by isDrive; the check after a
// download confirms one by cdRom (a new firmware may name another model).
InquiryAnswer AskInquiry(AspiDevice& device);

// Asks INQUIRY of targets 0 to 7 on every adapter of `device`, one after the
// other and without stopping early, and keeps the drives of the model in
// DeviceTable (g_deviceCount). A drive is accepted when INQUIRY completes
// well, byte 0 of its data is 0x05 and its product identification ends in
// "3177K". Drives accepted when the table is full are counted but not kept.
// Leaves the device addressing the last target asked. What each address
// answered goes to `record` (scan_record.h). Returns g_deviceCount;
// `acceptedTotal`, when not null, receives every accepted drive's count.
//
// A device that answers NOT READY, not ready yet (ASC 04h with ASCQ 00h, 01h
// becoming ready, or 07h operation in progress) may be a drive of the model
// that is still starting up or reprogramming itself. With `pause`, such
// devices are asked again every kNotReadyIntervalMs for up to
// kNotReadyWaitMs (pause sleeps, and returns false when the run was
// interrupted: the sweep then stops asking); one that stays not ready is
// recorded as ScanFinding::kNotReady.
using SweepPause = bool (*)(std::uint32_t milliseconds);
inline constexpr std::uint32_t kNotReadyWaitMs = 10000;
inline constexpr std::uint32_t kNotReadyIntervalMs = 1000;
int SweepDevices(AspiDevice& device, ScanRecord& record, int* acceptedTotal,
                 SweepPause pause = nullptr);
