// Adapters and targets from a sysfs tree, and what the user is told when no
// device can be used.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <sstream>
#include <tuple>

#include "fake_sg.h"
#include "transports/linux/sg_provider.h"
#include "transports/linux/sg_topology.h"

namespace {

using sgtest::FakeSgSystem;
using sgtest::FakeSysfs;

TEST(SgAddress, ParsesFourDecimalNumbersOnly) {
  struct Case {
    const char* text;
    bool ok;
    sg::ScsiAddress expected;
  };
  const Case cases[] = {
      {"2:0:0:0", true, {2, 0, 0, 0}},
      {"10:3:15:7", true, {10, 3, 15, 7}},
      {"0:0:1:0", true, {0, 0, 1, 0}},
      {"", false, {}},
      {"2:0:0", false, {}},
      {"2:0:0:0:1", false, {}},
      {"a:0:0:0", false, {}},
      {"2:-1:0:0", false, {}},
      {"2:0:0:0 ", false, {}},
      {"2::0:0", false, {}},
      {"host2", false, {}},
      {"99999999999:0:0:0", false, {}},
  };
  for (const Case& c : cases) {
    sg::ScsiAddress address;
    EXPECT_EQ(sg::ParseAddress(c.text, address), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(address, c.expected) << c.text;
    }
  }
}

TEST(SgTopology, ListsNodesSortedByAddressAndNotesUnreadableOnes) {
  FakeSysfs sysfs;
  sysfs.AddNode("sg0", "5:0:0:0");
  sysfs.AddNode("sg1", "0:0:1:0");
  sysfs.AddNode("sg2", "3:0:0:0");
  sysfs.AddNode("sg3", "0:0:0:0");
  sysfs.AddBrokenNode("sg4");
  std::filesystem::create_directories(sysfs.Root() + "/class/scsi_generic/not-an-sg");
  const sg::SgTopology topology = sg::ReadSgTopology(sysfs.Root());
  ASSERT_TRUE(topology.classPresent);
  ASSERT_EQ(topology.nodes.size(), 4u);
  EXPECT_EQ(topology.nodes[0].name, "sg3");
  EXPECT_EQ(topology.nodes[1].name, "sg1");
  EXPECT_EQ(topology.nodes[2].name, "sg2");
  EXPECT_EQ(topology.nodes[3].name, "sg0");
  ASSERT_EQ(topology.unreadable.size(), 1u);
  EXPECT_EQ(topology.unreadable[0].rfind("sg4:", 0), 0u);
}

TEST(SgTopology, TransferLimitFromBlockQueueThenFromHost) {
  FakeSysfs sysfs;
  sysfs.AddNode("sg0", "1:0:0:0");
  sysfs.AddNode("sg1", "2:0:0:0");
  sysfs.AddNode("sg2", "3:0:0:0");
  sysfs.SetBlockLimitKib("1:0:0:0", 128);
  sysfs.SetHostMaxSectors(1, 8);  // the block queue's value wins
  sysfs.SetHostMaxSectors(2, 240);
  const sg::SgTopology topology = sg::ReadSgTopology(sysfs.Root());
  ASSERT_EQ(topology.nodes.size(), 3u);
  EXPECT_EQ(sg::SysfsMaxTransferBytes(sysfs.Root(), topology.nodes[0]), 128 * 1024);
  EXPECT_EQ(sg::SysfsMaxTransferBytes(sysfs.Root(), topology.nodes[1]), 240 * 512);
  EXPECT_EQ(sg::SysfsMaxTransferBytes(sysfs.Root(), topology.nodes[2]), -1);
}

// A provider over a fake tree; nodes are registered with the fake system too.
class SgDiscovery : public ::testing::Test {
 protected:
  void Node(const std::string& name, sg::ScsiAddress address, int openError = 0, int type = -1) {
    sysfs.AddNode(name, sg::FormatAddress(address), type);
    system->nodes[sysfs.DevRoot() + "/" + name] = FakeSgSystem::Node{address, openError};
  }

  std::unique_ptr<AspiProvider> Create() {
    SgProviderOptions options;
    options.sysfsRoot = sysfs.Root();
    options.devRoot = sysfs.DevRoot();
    options.system = system;
    options.messages = StreamSink(messages);
    return CreateSgProvider(options, diagnostics);
  }

  // Sends INQUIRY to adapter/target/lun; returns SRB_Status.
  aspi::BYTE Inquiry(AspiProvider& provider, int ha, int target, int lun = 0) {
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb = sgtest::InquiryRequest(ha, target, lun, data);
    provider.SendCommand(&srb);
    haStat = srb.SRB_HaStat;
    return srb.SRB_Status;
  }

  std::string LastPath() const { return system->calls.empty() ? "" : system->calls.back().path; }

  FakeSysfs sysfs;
  std::shared_ptr<FakeSgSystem> system = std::make_shared<FakeSgSystem>();
  std::ostringstream messages;
  std::string diagnostics;
  aspi::BYTE haStat = 0;
};

TEST_F(SgDiscovery, AdaptersAreHostsInAscendingOrderAndTargetsTheirChannel0Lun0Devices) {
  Node("sg0", {5, 0, 2, 0});
  Node("sg1", {0, 0, 0, 0});
  Node("sg2", {3, 0, 1, 0});
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo(), (aspi::DWORD{SS_COMP} << 8) | 3);
  EXPECT_EQ(diagnostics, "");
  EXPECT_STREQ(provider->Name(), "sg");

  EXPECT_EQ(Inquiry(*provider, 0, 0), SS_COMP);
  EXPECT_EQ(LastPath(), sysfs.DevRoot() + "/sg1");
  EXPECT_EQ(Inquiry(*provider, 1, 1), SS_COMP);
  EXPECT_EQ(LastPath(), sysfs.DevRoot() + "/sg2");
  EXPECT_EQ(Inquiry(*provider, 2, 2), SS_COMP);
  EXPECT_EQ(LastPath(), sysfs.DevRoot() + "/sg0");

  // Empty targets answer as on a real bus, and nothing reaches a device.
  const std::size_t sent = system->calls.size();
  EXPECT_EQ(Inquiry(*provider, 0, 1), SS_NO_DEVICE);
  EXPECT_EQ(haStat, HASTAT_SEL_TO);
  EXPECT_EQ(Inquiry(*provider, 2, 0), SS_NO_DEVICE);
  EXPECT_EQ(Inquiry(*provider, 3, 0), SS_INVALID_HA);
  EXPECT_EQ(system->calls.size(), sent);
}

// Adapter numbers shift when an earlier host goes; the sg node and the
// kernel's address stay with the device, so --device may name it by them.
// A device beyond target 7 cannot be reached: it is named, not addressed.
TEST_F(SgDiscovery, DevicesGoByNamesThatDoNotShiftAndTargetsBeyond7AreTold) {
  Node("sg0", {0, 0, 0, 0}, 0, 0);
  Node("sg3", {2, 0, 3, 0}, 0, 5);
  Node("sg7", {2, 0, 9, 0}, 0, 5);
  Node("sg8", {2, 0, 10, 0}, 0, 0);  // a disk beyond 7 is no news
  auto provider = Create();
  EXPECT_EQ(diagnostics, sysfs.DevRoot() +
                             "/sg7 (2:0:9:0) is at SCSI target id 9; the program addresses "
                             "targets 0 to 7 only, so it cannot reach this device.")
      << diagnostics;
  EXPECT_EQ(provider->DeviceNames(1, 3),
            (std::vector<std::string>{sysfs.DevRoot() + "/sg3", "2:0:3:0"}));
  EXPECT_TRUE(provider->DeviceNames(1, 4).empty());
  const struct {
    const char* name;
    bool found;
  } cases[] = {{"sg3", true},      {"/dev/sg3", true}, {"2:0:3:0", true},
               {"2:0:9:0", false}, {"sg7", false},     {"sg4", false}};
  for (const auto& c : cases) {
    aspi::BYTE adapter = 0xFF;
    aspi::BYTE target = 0xFF;
    EXPECT_EQ(provider->FindDevice(c.name, adapter, target), c.found) << c.name;
    if (c.found) {
      EXPECT_EQ(adapter, 1) << c.name;
      EXPECT_EQ(target, 3) << c.name;
    }
  }
}

TEST_F(SgDiscovery, OnlyChannel0AndLun0AreAddressed) {
  Node("sg0", {2, 1, 0, 0});  // channel 1
  Node("sg1", {2, 0, 0, 1});  // LUN 1
  Node("sg2", {2, 0, 3, 0});
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 1u);
  EXPECT_EQ(Inquiry(*provider, 0, 0), SS_NO_DEVICE);
  EXPECT_EQ(Inquiry(*provider, 0, 3, 1), SS_NO_DEVICE);
  EXPECT_TRUE(system->calls.empty());
  EXPECT_EQ(Inquiry(*provider, 0, 3), SS_COMP);
  EXPECT_EQ(LastPath(), sysfs.DevRoot() + "/sg2");
}

TEST_F(SgDiscovery, NoDeviceAtChannel0Lun0GivesNoAdapterAndSaysWhy) {
  Node("sg0", {2, 1, 0, 0});
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 0u);
  EXPECT_NE(diagnostics.find("channel 0, LUN 0"), std::string::npos) << diagnostics;
  EXPECT_NE(diagnostics.find("sg0 at 2:1:0:0"), std::string::npos) << diagnostics;
}

TEST_F(SgDiscovery, MissingDeviceNodeAnswersAsAnEmptyTarget) {
  Node("sg0", {0, 0, 0, 0});
  sysfs.AddNode("sg1", "0:0:1:0");  // in sysfs, but no /dev/sg1
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 1u);
  EXPECT_NE(diagnostics.find("/sg1 (0:0:1:0) does not exist"), std::string::npos) << diagnostics;
  EXPECT_EQ(Inquiry(*provider, 0, 1), SS_NO_DEVICE);
  EXPECT_EQ(haStat, HASTAT_SEL_TO);
  EXPECT_EQ(Inquiry(*provider, 0, 0), SS_COMP);
}

TEST_F(SgDiscovery, UnreadableNodeIsAFailedTargetAndNamedInTheDiagnostics) {
  Node("sg0", {0, 0, 0, 0});
  Node("sg1", {1, 0, 0, 0}, EACCES);
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 2u);
  EXPECT_NE(diagnostics.find("/sg1 (1:0:0:0) needs read and write access"), std::string::npos)
      << diagnostics;
  EXPECT_NE(diagnostics.find("root"), std::string::npos);
  EXPECT_EQ(Inquiry(*provider, 1, 0), SS_ERR);
  EXPECT_EQ(Inquiry(*provider, 0, 0), SS_COMP);
  EXPECT_EQ(system->calls.size(), 1u);
}

TEST_F(SgDiscovery, WhileTheDriveCanBeUsedAnInaccessibleDiskIsNoNews) {
  Node("sg0", {0, 0, 0, 0}, EACCES, 0);  // the system disk
  Node("sg1", {1, 0, 0, 0}, 0, 5);       // the drive
  Node("sg2", {2, 0, 0, 0}, EACCES, 5);  // another CD/DVD device
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 3u);
  EXPECT_EQ(diagnostics.find("/sg0"), std::string::npos) << diagnostics;
  EXPECT_NE(diagnostics.find("/sg2 (2:0:0:0) needs read and write access"), std::string::npos)
      << diagnostics;
  const sg::SgTopology topology = sg::ReadSgTopology(sysfs.Root());
  ASSERT_EQ(topology.nodes.size(), 3u);
  EXPECT_EQ(topology.nodes[0].type, 0);
  EXPECT_EQ(topology.nodes[1].type, 5);
}

TEST_F(SgDiscovery, NoOpenableDeviceMeansNoAdapter) {
  Node("sg0", {0, 0, 0, 0}, EACCES, 0);
  Node("sg1", {1, 0, 0, 0}, EPERM, 5);
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo(), aspi::DWORD{SS_COMP} << 8) << "ready, no adapter";
  EXPECT_EQ(diagnostics.rfind("None of the SCSI generic devices can be used:", 0), 0u)
      << diagnostics;
  EXPECT_NE(diagnostics.find("/sg0 (0:0:0:0) needs read and write access"), std::string::npos);
  EXPECT_NE(diagnostics.find("/sg1 (1:0:0:0) needs read and write access"), std::string::npos);
  EXPECT_EQ(Inquiry(*provider, 0, 0), SS_INVALID_HA);
  EXPECT_TRUE(system->calls.empty());
}

// A machine whose drive the program may not open is told apart from one
// without a drive: only a device that may be the drive (CD/DVD, or of
// unknown type) at a target the program addresses counts, refused when it
// is opened or, with `asked`, when INQUIRY reaches it.
TEST(SgAccess, ARefusedDeviceThatMayBeTheDriveIsNotNoDrive) {
  const struct {
    std::vector<std::tuple<sg::ScsiAddress, int, int>> devices;  // address, open errno, type
    bool asked;
    bool denied;
  } cases[] = {
      {{{{0, 0, 0, 0}, EACCES, 0}}, false, false},                        // a disk only
      {{{{0, 0, 0, 0}, EPERM, 5}}, false, true},                          // the drive
      {{{{0, 0, 0, 0}, EACCES, -1}}, false, true},                        // of unknown type
      {{{{0, 0, 0, 0}, ENOENT, 5}}, false, false},                        // node missing
      {{{{0, 0, 0, 0}, 0, 0}, {{1, 0, 9, 0}, EACCES, 5}}, false, false},  // beyond target 7
      {{{{0, 0, 0, 0}, 0, 5}, {{1, 0, 0, 0}, EACCES, 0}}, false, false},  // a disk beside it
      {{{{0, 0, 0, 0}, 0, 5}}, true, true},
      {{{{0, 0, 0, 0}, 0, 0}}, true, false},
  };
  for (const auto& c : cases) {
    FakeSysfs sysfs;
    SgProviderOptions options{sysfs.Root(), sysfs.DevRoot(), std::make_shared<FakeSgSystem>(), {}};
    auto& system = static_cast<FakeSgSystem&>(*options.system);
    for (const auto& [address, error, type] : c.devices) {
      const std::string name = "sg" + std::to_string(address.host);
      sysfs.AddNode(name, sg::FormatAddress(address), type);
      system.nodes[sysfs.DevRoot() + "/" + name] = {address, error};
    }
    std::string diagnostics;
    const auto provider = CreateSgProvider(options, diagnostics);
    system.answers.resize(1);
    system.answers[0].result.osError = c.asked ? EACCES : 0;
    std::uint8_t data[36] = {};
    SRB_ExecSCSICmd srb = sgtest::InquiryRequest(0, 0, 0, data);
    provider->SendCommand(&srb);
    EXPECT_EQ(SgAccessDenied(*provider), c.denied) << (&c - cases) << diagnostics;
  }
}

TEST_F(SgDiscovery, WithoutTheSgDriverTheUserIsToldToLoadIt) {
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 0u);
  EXPECT_NE(diagnostics.find("sg driver is not loaded"), std::string::npos) << diagnostics;
  EXPECT_NE(diagnostics.find("modprobe sg"), std::string::npos);
}

TEST_F(SgDiscovery, AnEmptyDeviceListIsExplained) {
  sysfs.AddClass();
  auto provider = Create();
  EXPECT_EQ(provider->GetSupportInfo() & 0xFF, 0u);
  EXPECT_NE(diagnostics.find("lists no device"), std::string::npos) << diagnostics;
}

TEST_F(SgDiscovery, ANodeThatAnswersAsAnotherDeviceIsLeftAlone) {
  Node("sg0", {0, 0, 0, 0});
  sysfs.AddNode("sg1", "1:0:0:0");
  system->nodes[sysfs.DevRoot() + "/sg1"] = FakeSgSystem::Node{{4, 0, 0, 0}, 0};
  auto provider = Create();
  EXPECT_NE(diagnostics.find("another SCSI device"), std::string::npos) << diagnostics;
  EXPECT_NE(Inquiry(*provider, 1, 0), SS_COMP);
  EXPECT_EQ(system->calls.size(), 0u);
  EXPECT_EQ(system->OpenCount(), 1);
}

TEST_F(SgDiscovery, ClosesEveryDeviceWhenDestroyed) {
  Node("sg0", {0, 0, 0, 0});
  Node("sg1", {0, 0, 1, 0});
  auto provider = Create();
  EXPECT_EQ(system->OpenCount(), 2);
  provider.reset();
  EXPECT_EQ(system->OpenCount(), 0);
}

}  // namespace
