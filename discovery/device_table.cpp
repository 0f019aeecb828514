#include "discovery/device_table.h"

#include <cstring>
#include <string>
#include <vector>

#include "aspi/aspi_device.h"
#include "aspi/aspi_provider.h"
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
constexpr std::uint32_t kProductEnd = 32;     // the product identification ends before byte 32
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

// NOT READY with a cause that passes by itself.
bool NotReadyYet(const ScanEntry& entry) {
  return entry.finding == ScanFinding::kFailed && entry.failure.NotReadyYet();
}

// A device that did not answer INQUIRY (or answered not ready) told no
// model; the system's own record of the device may.
bool KnownAsTheModel(std::uint8_t adapter, std::uint8_t target) {
  const AspiProvider* provider = InstalledAspiProvider();
  if (provider == nullptr) return false;
  const AspiProvider::KnownDevice known = provider->KnownIdentity(adapter, target);
  const std::string& text = known.vendorAndProduct;
  return known.known && known.type == kCdDvdDevice && text.size() >= 5 &&
         text.compare(text.size() - 5, 5, "3177K") == 0;
}

struct Asked {
  ScanEntry entry;
  InquiryAnswer answer;
};

Asked AskAt(AspiDevice& device, std::uint8_t adapter, std::uint8_t target) {
  device.SelectAdapter(adapter);
  device.SelectTarget(target);
  Asked asked;
  asked.answer = AskInquiry(device);
  asked.entry = Judge(device, asked.answer, adapter, target);
  if (NotReadyYet(asked.entry)) asked.entry.finding = ScanFinding::kNotReady;
  return asked;
}

bool AnyNotReady(const std::vector<Asked>& all) {
  for (const Asked& asked : all)
    if (asked.entry.finding == ScanFinding::kNotReady) return true;
  return false;
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
  answer.cdRom = device.dataBuffer[0] == kCdDvdDevice && received >= kProductEnd;
  answer.isDrive = answer.cdRom && modelSuffix;
  return answer;
}

int SweepDevices(AspiDevice& device, ScanRecord& record, int* acceptedTotal, SweepPause pause) {
  g_deviceCount = 0;
  record.clear();
  std::vector<Asked> all;
  if (device.dataBuffer != nullptr) {
    const int adapters = device.GetAdapterCount();
    for (int adapter = 0; adapter < adapters; ++adapter) {
      for (int target = 0; target < kTargetsPerAdapter; ++target)
        all.push_back(
            AskAt(device, static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target)));
    }
    for (std::uint32_t waited = 0; pause != nullptr && waited < kNotReadyWaitMs && AnyNotReady(all);
         waited += kNotReadyIntervalMs) {
      if (!pause(kNotReadyIntervalMs)) break;
      for (Asked& asked : all) {
        if (asked.entry.finding == ScanFinding::kNotReady)
          asked = AskAt(device, asked.entry.adapter, asked.entry.target);
      }
    }
  }
  // The table in sweep order, whenever a drive became ready.
  int accepted = 0;
  for (Asked& asked : all) {
    if (!asked.answer.completed) {
      ScanEntry& entry = asked.entry;
      entry.knownAsTheModel = KnownAsTheModel(entry.adapter, entry.target);
      // The system knows a drive there: its silence is a failure, not an
      // empty address.
      if (entry.knownAsTheModel && entry.finding == ScanFinding::kNoDevice)
        entry.finding = ScanFinding::kFailed;
    }
    record.push_back(asked.entry);
    // The strings went to an answer of their own first: a target that is
    // not accepted, or one past the full table, writes nothing into it.
    if (!asked.answer.isDrive) continue;
    DeviceEntry entry{};
    std::memcpy(entry.model, asked.answer.model, sizeof entry.model);
    std::memcpy(entry.revision, asked.answer.revision, sizeof entry.revision);
    ++accepted;
    if (g_deviceCount >= kDeviceTableSize) continue;  // a sixth drive is ignored
    entry.adapterId = asked.entry.adapter;
    entry.targetId = asked.entry.target;
    DeviceTable[g_deviceCount] = entry;
    ++g_deviceCount;
  }
  if (acceptedTotal != nullptr) *acceptedTotal = accepted;
  return g_deviceCount;
}
