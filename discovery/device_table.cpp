#include "discovery/device_table.h"

#include <cstring>
#include <string>

#include "aspi/aspi_device.h"
#include "discovery/scan_record.h"

DeviceEntry DeviceTable[kDeviceTableSize];
std::uint8_t g_deviceCount = 0;

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
constexpr std::uint8_t kNotConnected = 0x7F;  // qualifier 3, type 0x1F: no unit here

// Bytes of an INQUIRY text field without the blanks or NUL bytes that pad it.
std::string FieldText(const std::uint8_t* field, std::size_t length) {
  while (length > 0 && (field[length - 1] == ' ' || field[length - 1] == 0)) --length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

// What one INQUIRY found, for the scan record.
ScanEntry Judge(AspiDevice& device, const InquiryAnswer& answer, std::uint8_t adapter,
                std::uint8_t target) {
  ScanEntry entry;
  entry.adapter = adapter;
  entry.target = target;
  if (!answer.completed) {
    entry.failure = LastCommandFailure(device);
    entry.finding = entry.failure.noDevice ? ScanFinding::kNoDevice : ScanFinding::kFailed;
    return entry;
  }
  const std::uint8_t* data = device.dataBuffer;
  entry.peripheral = data[0];
  entry.model = FieldText(data + 8, 24);
  entry.revision = FieldText(data + 32, 4);
  if (data[0] == kCdDvdDevice) {
    entry.finding = answer.isDrive ? ScanFinding::kAccepted : ScanFinding::kOtherModel;
  } else if (data[0] == kNotConnected) {
    entry.finding = ScanFinding::kNoDevice;
  } else if ((data[0] & 0x1F) == kCdDvdDevice) {
    entry.finding = ScanFinding::kQualifier;
  } else {
    entry.finding = ScanFinding::kNotCdRom;
  }
  return entry;
}

}  // namespace

InquiryAnswer AskInquiry(AspiDevice& device) {
  InquiryAnswer answer;
  if (device.dataBuffer == nullptr) return answer;
  std::memset(device.dataBuffer, 0, kInquiryClearLength);
  device.SetCommand(kInquiryTemplate, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT, kInquiryLength);
  if (!device.ExecuteWait()) return answer;
  answer.completed = true;
  const std::uint32_t received = device.ReceivedLength();
  std::memset(device.dataBuffer + received, 0, kInquiryClearLength - received);
  // The strings are always taken, for the revision row; they say what the
  // device is only together with its peripheral type.
  const bool modelSuffix = device.GetInquiryStrings(answer.model, answer.revision);
  answer.isDrive = device.dataBuffer[0] == kCdDvdDevice && modelSuffix;
  return answer;
}

int SweepDevices(AspiDevice& device, int* acceptedTotal) {
  g_deviceCount = 0;
  g_scanRecord.clear();
  int accepted = 0;
  if (device.dataBuffer != nullptr) {
    const int adapters = device.GetAdapterCount();
    for (int adapter = 0; adapter < adapters; ++adapter) {
      device.SelectAdapter(static_cast<std::uint8_t>(adapter));
      for (int target = 0; target < kTargetsPerAdapter; ++target) {
        device.SelectTarget(static_cast<std::uint8_t>(target));
        // The strings go to an entry of its own first: a target that is not
        // accepted, or one past the full table, writes nothing into it.
        const InquiryAnswer answer = AskInquiry(device);
        g_scanRecord.push_back(Judge(device, answer, static_cast<std::uint8_t>(adapter),
                                     static_cast<std::uint8_t>(target)));
        if (!answer.isDrive) continue;
        DeviceEntry entry{};
        std::memcpy(entry.model, answer.model, sizeof entry.model);
        std::memcpy(entry.revision, answer.revision, sizeof entry.revision);
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
