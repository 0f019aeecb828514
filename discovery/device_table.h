// The drives of the model that the start-up sweep accepted, the command
// blocks of discovery, and the sweep itself.
#pragma once

#include <cstdint>

class AspiDevice;
class ReportList;

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
// The Select Device dialog's list while that dialog is open; null otherwise.
extern ReportList* g_selectList;

// START STOP UNIT (byte 4 is set to 0x02 to open the tray) and INQUIRY
// (standard data, allocation length 36).
extern const std::uint8_t kStartStopUnitTemplate[12];
extern const std::uint8_t kInquiryTemplate[12];
inline constexpr std::uint32_t kInquiryLength = 36;

// Asks INQUIRY of targets 0 to 7 on every adapter of `device`, one after the
// other and without stopping early, and keeps the drives of the model in
// DeviceTable (g_deviceCount). A drive is accepted when INQUIRY completes
// well, byte 0 of its data is 0x05 and its product identification ends in
// "3177K". Drives accepted when the table is full are counted but not kept.
// Leaves the device addressing the last target asked. What each address
// answered goes to g_scanRecord (scan_record.h). Returns g_deviceCount;
// `acceptedTotal`, when not null, receives every accepted drive's count.
int SweepDevices(AspiDevice& device, int* acceptedTotal);
