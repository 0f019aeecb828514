// An emulated bus with an AspiDevice on it and a clock the test moves.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_device.h"
#include "transports/emulated/emulated_bus.h"

inline constexpr std::uint8_t kInquiryBlock[12] = {0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::uint8_t kStartStopBlock[12] = {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::uint8_t kDownloadBlock[12] = {0x55, 0, 0, 0, 0, 0, 0, 0xFF, 0xFE, 0x02, 0, 0};

// A 64 KiB image as the loader leaves it: 0xFF where nothing was loaded.
inline std::vector<std::uint8_t> MakeImage(const char* revision) {
  std::vector<std::uint8_t> image(65536, 0xFF);
  for (std::size_t i = 0; i < 0x4000; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  if (revision != nullptr) std::memcpy(&image[0xFEF0], revision, 4);
  return image;
}

inline std::uint16_t Sum(const std::vector<std::uint8_t>& image) {
  std::uint16_t sum = 0;
  for (std::uint8_t b : image) sum = static_cast<std::uint16_t>(sum + b);
  return sum;
}

class BusFixture : public testing::Test {
 protected:
  // The bus of `layout` on the test's clock (now_), or on the real time
  // when `testClock` is false.
  void Build(std::string_view layout, bool testClock = true) {
    std::string error;
    bus_ = EmulatedBus::FromLayout(layout, error);
    ASSERT_NE(bus_, nullptr) << error;
    if (testClock) bus_->SetClock([this] { return now_; });
    InstallAspiProvider(bus_.get());
    device_ = std::make_unique<AspiDevice>();
  }
  void TearDown() override {
    device_.reset();
    InstallAspiProvider(nullptr);
    bus_.reset();
  }
  void At(std::uint8_t adapter, std::uint8_t target) {
    device_->SelectAdapter(adapter);
    device_->SelectTarget(target);
  }
  bool Inquiry() {
    std::memset(device_->dataBuffer, 0, 48);
    device_->SetCommand(kInquiryBlock, SRB_DIR_IN, 36);
    return device_->ExecuteWait();
  }
  std::string Revision() {
    char revision[32];
    device_->GetInquiryStrings(nullptr, revision);
    return revision;
  }
  bool OpenTray() {
    device_->SetCommand(kStartStopBlock, SRB_DIR_IN, 0);
    device_->commandBlock[4] = 0x02;
    return device_->ExecuteWait();
  }
  // Loads the download command for `image` the way the download flow does.
  void LoadDownload(const std::vector<std::uint8_t>& image) {
    const std::uint16_t sum = Sum(image);
    device_->SetCommand(kDownloadBlock, SRB_DIR_OUT, 65535);
    device_->commandBlock[3] = 0x77;
    device_->commandBlock[5] = static_cast<std::uint8_t>(sum >> 8);
    device_->commandBlock[6] = static_cast<std::uint8_t>(sum);
    device_->commandBlock[10] = image[0];
    device_->commandBlock[11] = image[1];
    std::memcpy(device_->dataBuffer, image.data(), 65536);
    std::memmove(device_->dataBuffer, device_->dataBuffer + 2, 65534);
  }
  bool Download(const std::vector<std::uint8_t>& image) {
    LoadDownload(image);
    return device_->ExecuteWait();
  }
  std::uint8_t SenseKey() const { return device_->srb.SenseArea[2] & 0x0F; }
  std::uint8_t Asc() const { return device_->srb.SenseArea[12]; }
  std::uint8_t Ascq() const { return device_->srb.SenseArea[13]; }

  std::uint32_t now_ = 1000;
  std::unique_ptr<EmulatedBus> bus_;
  std::unique_ptr<AspiDevice> device_;
};
