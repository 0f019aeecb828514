#include "flash_flow.h"

#include <cstring>

#include "aspi/aspi_device.h"
#include "image/image_checksum.h"

namespace {

constexpr std::uint8_t kInquiry[12] = {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kStartStopUnit[12] = {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDownload[12] = {0x55, 0, 0, 0, 0, 0, 0, 0xFF, 0xFE, 0x02, 0, 0};
constexpr int kVerifyAttempts = 4;

}  // namespace

FlowOutcome RunFlashFlow(const std::uint8_t* image, const std::function<void()>& settle) {
  FlowOutcome outcome;
  AspiDevice device;
  outcome.available = device.IsAvailable();
  char model[25] = {};
  char revision[32] = {};
  for (int a = 0; a < device.GetAdapterCount(); ++a) {
    device.SelectAdapter(static_cast<std::uint8_t>(a));
    for (int t = 0; t < 8; ++t) {
      device.SelectTarget(static_cast<std::uint8_t>(t));
      std::memset(device.dataBuffer, 0, 48);
      device.SetCommand(kInquiry, SRB_DIR_IN, 36);
      if (!device.ExecuteWait() || device.dataBuffer[0] != 0x05) continue;
      if (!device.GetInquiryStrings(model, revision)) continue;
      if (++outcome.accepted == 1) {
        outcome.adapter = a;
        outcome.target = t;
        outcome.model = model;
        outcome.revisionBefore = revision;
      }
    }
  }
  if (outcome.accepted == 0) return outcome;
  device.SelectAdapter(static_cast<std::uint8_t>(outcome.adapter));
  device.SelectTarget(static_cast<std::uint8_t>(outcome.target));
  device.SetCommand(kStartStopUnit, SRB_DIR_IN, 0);
  device.commandBlock[4] = 0x02;
  device.ExecuteWait();

  const std::uint16_t sum = ImageChecksum(image);
  device.SetCommand(kDownload, SRB_DIR_OUT, 65535);
  device.commandBlock[3] = 0x77;
  device.commandBlock[5] = static_cast<std::uint8_t>(sum >> 8);
  device.commandBlock[6] = static_cast<std::uint8_t>(sum);
  device.commandBlock[10] = image[0];
  device.commandBlock[11] = image[1];
  std::memcpy(device.dataBuffer, image + 2, 65534);
  device.dataBuffer[65534] = image[65534];
  device.dataBuffer[65535] = image[65535];
  outcome.downloadOk = device.ExecuteWait();
  if (!outcome.downloadOk) return outcome;

  while (outcome.verifyAttempts < kVerifyAttempts) {
    settle();
    ++outcome.verifyAttempts;
    device.SetCommand(kInquiry, SRB_DIR_IN, 36);
    if (device.ExecuteWait()) {
      device.GetInquiryStrings(nullptr, revision);
      outcome.verified = true;
      outcome.revisionAfter = revision;
      break;
    }
  }
  return outcome;
}
