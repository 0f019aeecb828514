// Layout texts: what they build and how a malformed one is refused.
#include "transports/emulated/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "transports/emulated/emulated_bus.h"

namespace {

struct Placed {
  unsigned adapter;
  unsigned target;
  DeviceKind kind;
};

struct GoodLayout {
  const char* text;
  unsigned adapters;
  std::vector<Placed> devices;
};

class GoodLayouts : public testing::TestWithParam<GoodLayout> {};

TEST_P(GoodLayouts, BuildTheBusTheyDescribe) {
  std::string error;
  auto bus = EmulatedBus::FromLayout(GetParam().text, error);
  ASSERT_NE(bus, nullptr) << error;
  EXPECT_EQ(bus->GetSupportInfo(), (static_cast<aspi::DWORD>(SS_COMP) << 8) | GetParam().adapters);
  unsigned found = 0;
  for (unsigned a = 0; a < emulated::kMaxAdapters; ++a) {
    for (unsigned t = 0; t < emulated::kTargetsPerAdapter; ++t) {
      EmulatedDevice* device =
          bus->Device(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(t));
      if (device == nullptr) continue;
      ++found;
      bool expected = false;
      for (const Placed& p : GetParam().devices) {
        expected = expected || (p.adapter == a && p.target == t && p.kind == device->Kind());
      }
      EXPECT_TRUE(expected) << a << ":" << t << " " << DeviceKindName(device->Kind());
    }
  }
  EXPECT_EQ(found, GetParam().devices.size());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GoodLayouts,
    testing::Values(GoodLayout{"", 1, {{0, 0, DeviceKind::kDrive}}}, GoodLayout{"empty", 1, {}},
                    GoodLayout{"0:0=cdrom,0:3=disk,1:5=drive",
                               2,
                               {{0, 0, DeviceKind::kCdrom},
                                {0, 3, DeviceKind::kDisk},
                                {1, 5, DeviceKind::kDrive}}},
                    GoodLayout{"2:7=q1cd", 3, {{2, 7, DeviceKind::kQ1Cd}}},
                    GoodLayout{" 0:1=drive , 0:2=disk3177k ",
                               1,
                               {{0, 1, DeviceKind::kDrive}, {0, 2, DeviceKind::kDisk3177k}}},
                    GoodLayout{"15:0=drive+fault=hang", 16, {{15, 0, DeviceKind::kDrive}}}));

TEST(Layout, OptionsReachTheDevice) {
  emulated::Layout layout;
  std::string error;
  ASSERT_TRUE(
      emulated::ParseLayout("0:0=drive+rev=1.02+busy=3000+fault=slow-inquiry+delay=250+"
                            "fault=refuse-download",
                            layout, error))
      << error;
  ASSERT_EQ(layout.entries.size(), 1u);
  const DeviceOptions& options = layout.entries[0].options;
  EXPECT_EQ(options.revision, "1.02");
  EXPECT_EQ(options.busyMs, 3000u);
  EXPECT_EQ(options.slowDelayMs, 250u);
  ASSERT_EQ(options.faults.size(), 2u);
  EXPECT_EQ(options.faults[0].kind, FaultKind::kSlow);
  EXPECT_EQ(options.faults[0].scope, FaultScope::kInquiry);
  EXPECT_EQ(options.faults[1].kind, FaultKind::kRefuseDownload);
}

TEST(Layout, EveryFaultNameIsUnderstood) {
  const std::vector<std::tuple<const char*, FaultKind, FaultScope>> names = {
      {"sense", FaultKind::kSense, FaultScope::kAll},
      {"sense-download", FaultKind::kSense, FaultScope::kDownload},
      {"error-tray", FaultKind::kError, FaultScope::kTray},
      {"pending-sense-inquiry", FaultKind::kPendingSense, FaultScope::kInquiry},
      {"hang", FaultKind::kHang, FaultScope::kAll},
      {"slow-tray", FaultKind::kSlow, FaultScope::kTray},
      {"short-inquiry", FaultKind::kShortInquiry, FaultScope::kAll},
      {"refuse-download", FaultKind::kRefuseDownload, FaultScope::kAll},
      {"refuse-image", FaultKind::kRefuseImage, FaultScope::kAll},
      {"hang-after-download", FaultKind::kHangAfterDownload, FaultScope::kAll},
      {"unit-attention-tray", FaultKind::kUnitAttention, FaultScope::kTray},
      {"locked", FaultKind::kLocked, FaultScope::kAll}};
  for (const auto& [name, kind, scope] : names) {
    Fault fault{};
    ASSERT_TRUE(emulated::ParseFault(name, fault)) << name;
    EXPECT_EQ(fault.kind, kind) << name;
    EXPECT_EQ(fault.scope, scope) << name;
  }
  Fault fault{};
  EXPECT_FALSE(emulated::ParseFault("short-inquiry-tray", fault));
  EXPECT_FALSE(emulated::ParseFault("hang-", fault));
  EXPECT_FALSE(emulated::ParseFault("", fault));
}

TEST(Layout, AbsentMeansAServiceThatIsNotReady) {
  std::string error;
  auto bus = EmulatedBus::FromLayout("absent", error);
  ASSERT_NE(bus, nullptr) << error;
  const aspi::DWORD info = bus->GetSupportInfo();
  EXPECT_NE((info >> 8) & 0xFF, SS_COMP);
  EXPECT_EQ(info & 0xFF, 0u);
}

struct BadLayout {
  const char* text;
  const char* message;
};

class BadLayouts : public testing::TestWithParam<BadLayout> {};

TEST_P(BadLayouts, AreRefusedWithAMessageThatSaysWhatIsWrong) {
  std::string error;
  EXPECT_EQ(EmulatedBus::FromLayout(GetParam().text, error), nullptr);
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadLayouts,
    testing::Values(BadLayout{"0:0", "entry 1 \"0:0\": expected ADAPTER:TARGET=KIND"},
                    BadLayout{"0=drive", "expected ADAPTER:TARGET=KIND"},
                    BadLayout{"drive", "expected ADAPTER:TARGET=KIND"},
                    BadLayout{"0:8=drive", "target \"8\" is not a number from 0 to 7"},
                    BadLayout{"0:=drive", "target \"\" is not a number from 0 to 7"},
                    BadLayout{"16:0=drive", "adapter \"16\" is not a number from 0 to 15"},
                    BadLayout{"-1:0=drive", "adapter \"-1\" is not a number"},
                    BadLayout{"0x1:0=drive", "adapter \"0x1\" is not a number"},
                    BadLayout{"0:0=tape", "unknown device kind \"tape\""},
                    BadLayout{"0:0=Drive", "unknown device kind \"Drive\""},
                    BadLayout{"0:0=", "missing device kind"},
                    BadLayout{"0:0=drive,1:2=disk,0:0=cdrom",
                              "entry 3 \"0:0=cdrom\": address 0:0 is already taken by entry 1"},
                    BadLayout{"0:0=drive,,0:1=disk", "entry 2 is empty"},
                    BadLayout{"0:0=drive,", "entry 2 is empty"},
                    BadLayout{"empty,0:0=drive", "\"empty\" stands alone"},
                    BadLayout{"0:0=drive,absent", "\"absent\" stands alone"},
                    BadLayout{"0:0=drive+fault=explode", "unknown fault \"explode\""},
                    BadLayout{"0:0=drive+fault=slow-eject", "unknown fault \"slow-eject\""},
                    BadLayout{"0:0=drive+rev=12345", "rev=12345: the revision must be 1 to 4"},
                    BadLayout{"0:0=drive+rev=", "the revision must be 1 to 4"},
                    BadLayout{"0:0=drive+busy=abc", "busy=abc: expected milliseconds"},
                    BadLayout{"0:0=drive+busy=600001", "busy=600001"},
                    BadLayout{"0:0=drive+delay=-5", "delay=-5"},
                    BadLayout{"0:0=drive+inquiry-bytes=36",
                              "inquiry-bytes=36: expected a byte count from 0 to 35"},
                    BadLayout{"0:0=drive+colour=red", "unknown option \"colour\""},
                    BadLayout{"0:0=drive+", "empty option"},
                    BadLayout{"0:0=drive++rev=1.0", "empty option"},
                    BadLayout{"0:0=drive+busy", "option \"busy\" needs a value"}));

TEST(Layout, ProgrammaticDevicesRespectTheAddressRange) {
  EmulatedBus bus;
  std::string error;
  EXPECT_TRUE(bus.AddDevice(3, 7, DeviceOptions{}, error)) << error;
  EXPECT_EQ(bus.GetSupportInfo() & 0xFF, 4u);
  EXPECT_FALSE(bus.AddDevice(3, 7, DeviceOptions{}, error));
  EXPECT_NE(error.find("already holds a device"), std::string::npos);
  EXPECT_FALSE(bus.AddDevice(0, 8, DeviceOptions{}, error));
  EXPECT_FALSE(bus.AddDevice(16, 0, DeviceOptions{}, error));
}

}  // namespace
