#include "discovery/device_table.h"

#include <cstring>

#include "aspi/aspi_device.h"

DeviceEntry DeviceTable[kDeviceTableSize];
std::uint8_t g_deviceCount = 0;
ReportList* g_selectList = nullptr;

const std::uint8_t kStartStopUnitTemplate[12] = {0x1B, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const std::uint8_t kInquiryTemplate[12] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00,
                                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

namespace {

constexpr int kTargetsPerAdapter = 8;
// More than the 36 bytes asked for, so that a short answer cannot be judged
// on what the previous target left in the buffer.
constexpr std::size_t kInquiryClearLength = 48;
constexpr std::uint8_t kCdDvdDevice = 0x05;

}  // namespace

int SweepDevices(AspiDevice& device, int* acceptedTotal) {
  g_deviceCount = 0;
  int accepted = 0;
  if (device.dataBuffer != nullptr) {
    const int adapters = device.GetAdapterCount();
    for (int adapter = 0; adapter < adapters; ++adapter) {
      device.SelectAdapter(static_cast<std::uint8_t>(adapter));
      for (int target = 0; target < kTargetsPerAdapter; ++target) {
        device.SelectTarget(static_cast<std::uint8_t>(target));
        std::memset(device.dataBuffer, 0, kInquiryClearLength);
        device.SetCommand(kInquiryTemplate, SRB_DIR_IN, kInquiryLength);
        if (!device.ExecuteWait()) continue;
        if (device.dataBuffer[0] != kCdDvdDevice) continue;
        // The strings go to an entry of its own first: a target that is not
        // accepted, or one past the full table, writes nothing into it.
        DeviceEntry entry{};
        if (!device.GetInquiryStrings(entry.model, entry.revision)) continue;
        ++accepted;
        if (g_deviceCount >= kDeviceTableSize) continue;  // a sixth drive is ignored
        entry.adapterId = static_cast<std::uint8_t>(adapter);
        entry.targetId = static_cast<std::uint8_t>(target);
        DeviceTable[g_deviceCount] = entry;
        ++g_deviceCount;
      }
    }
  }
  if (acceptedTotal != nullptr) *acceptedTotal = accepted;
  return g_deviceCount;
}
