// Holding the drive exclusively from the download on, and refusing a
// transfer the kernel cannot carry in one piece.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>

#include "aspi/exit_restore.h"
#include "fake_sg.h"
#include "transports/linux/sg_provider.h"

namespace {

using sgtest::FakeSgSystem;
using sgtest::FakeSysfs;

constexpr std::uint8_t kInquiry[12] = {0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDownload[12] = {0x55, 0, 0, 0x77, 0, 0, 0, 0xFF, 0xFE, 2, 0xFF, 0xFF};

// One copy of the program: its own provider over the shared device world.
class Copy {
 public:
  Copy(FakeSysfs& sysfs, std::shared_ptr<FakeSgSystem> system) {
    SgProviderOptions options;
    options.sysfsRoot = sysfs.Root();
    options.devRoot = sysfs.DevRoot();
    options.system = std::move(system);
    options.messages = StreamSink(messages);
    provider = CreateSgProvider(options, diagnostics);
  }

  aspi::BYTE Send(const std::uint8_t* cdb, int target = 0) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Target = static_cast<aspi::BYTE>(target);
    const bool download = cdb[0] == 0x55;
    srb.SRB_Flags = download ? SRB_DIR_OUT : SRB_DIR_IN;
    srb.SRB_BufLen = download ? 65535 : 36;
    srb.SRB_BufPointer = buffer;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 12;
    std::memcpy(srb.CDBByte, cdb, 12);
    provider->SendCommand(&srb);
    return srb.SRB_Status;
  }

  std::unique_ptr<AspiProvider> provider;
  std::string diagnostics;
  std::ostringstream messages;
  std::uint8_t buffer[65540] = {};
};

class SgExclusive : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int t = 0; t < 2; ++t) {
      const std::string name = "sg" + std::to_string(t);
      sysfs.AddNode(name, "0:0:" + std::to_string(t) + ":0");
      system->nodes[sysfs.DevRoot() + "/" + name] = FakeSgSystem::Node{{0, 0, t, 0}, 0};
    }
  }

  std::size_t DownloadsSent() const {
    std::size_t n = 0;
    for (const auto& call : system->calls) n += call.cdb[0] == 0x55;
    return n;
  }

  FakeSysfs sysfs;
  std::shared_ptr<FakeSgSystem> system = std::make_shared<FakeSgSystem>();
};

TEST_F(SgExclusive, FromTheDownloadOnTheTargetIsHeldExclusivelyToTheEnd) {
  Copy first(sysfs, system);
  EXPECT_EQ(first.Send(kInquiry), SS_COMP);
  EXPECT_FALSE(system->calls.back().exclusive);
  EXPECT_EQ(first.Send(kDownload), SS_COMP);
  EXPECT_TRUE(system->calls.back().exclusive);
  // The verification goes through the same exclusive handle.
  EXPECT_EQ(first.Send(kInquiry), SS_COMP);
  EXPECT_TRUE(system->calls.back().exclusive);
  // Other targets are not affected.
  EXPECT_EQ(first.Send(kInquiry, 1), SS_COMP);
  EXPECT_FALSE(system->calls.back().exclusive);

  // A second copy started now cannot reach the drive at all.
  Copy second(sysfs, system);
  EXPECT_NE(second.diagnostics.find("/sg0 (0:0:0:0) is held exclusively by another program"),
            std::string::npos)
      << second.diagnostics;
  const std::size_t sent = system->calls.size();
  EXPECT_NE(second.Send(kInquiry), SS_COMP);
  EXPECT_NE(second.Send(kDownload), SS_COMP);
  EXPECT_EQ(system->calls.size(), sent);
  EXPECT_EQ(second.Send(kInquiry, 1), SS_COMP);
}

TEST_F(SgExclusive, ADownloadIsNotSentWhileAnotherCopyHasTheDriveOpen) {
  Copy first(sysfs, system);
  Copy second(sysfs, system);
  EXPECT_EQ(first.Send(kDownload), SS_ERR);
  EXPECT_EQ(DownloadsSent(), 0u);
  EXPECT_NE(first.messages.str().find("another program has the drive open"), std::string::npos)
      << first.messages.str();
  // The first copy keeps working with the drive, shared as before.
  EXPECT_EQ(first.Send(kInquiry), SS_COMP);
  EXPECT_FALSE(system->calls.back().exclusive);
  EXPECT_EQ(second.Send(kInquiry), SS_COMP);

  // Once the other copy is gone the download goes out exclusively.
  second.provider.reset();
  EXPECT_EQ(first.Send(kDownload), SS_COMP);
  EXPECT_EQ(DownloadsSent(), 1u);
  EXPECT_TRUE(system->calls.back().exclusive);
}

TEST_F(SgExclusive, ATransferBeyondTheKernelLimitIsRefusedBeforeAnythingIsSent) {
  sysfs.SetBlockLimitKib("0:0:0:0", 32);
  Copy copy(sysfs, system);
  EXPECT_EQ(copy.Send(kDownload), SS_BUFFER_TO_BIG);
  EXPECT_EQ(DownloadsSent(), 0u);
  const std::string text = copy.messages.str();
  EXPECT_NE(text.find("/sg0 (0:0:0:0)"), std::string::npos) << text;
  EXPECT_NE(text.find("at most 32768 bytes"), std::string::npos) << text;
  EXPECT_NE(text.find("65535"), std::string::npos) << text;
  EXPECT_EQ(copy.Send(kInquiry), SS_COMP) << "small transfers still work";
}

TEST_F(SgExclusive, TheTransferLimitComesFromTheHostOrTheDriverWhenSysfsHasNoQueue) {
  sysfs.SetHostMaxSectors(0, 128);  // exactly 65536 bytes: enough
  {
    Copy copy(sysfs, system);
    system->maxTransfer = 512;  // not asked when sysfs knows
    EXPECT_EQ(copy.Send(kDownload), SS_COMP);
  }
  sysfs.SetHostMaxSectors(0, 127);  // 65024 bytes: too few
  {
    Copy copy(sysfs, system);
    EXPECT_EQ(copy.Send(kDownload), SS_BUFFER_TO_BIG);
  }
  std::filesystem::remove_all(sysfs.Root() + "/class/scsi_host");
  {
    Copy copy(sysfs, system);
    system->maxTransfer = 65534;
    EXPECT_EQ(copy.Send(kDownload), SS_BUFFER_TO_BIG);
    system->maxTransfer = 65535;
    EXPECT_EQ(copy.Send(kDownload), SS_COMP);
    system->maxTransfer = -1;  // unknown: the kernel will say
    EXPECT_EQ(copy.Send(kDownload), SS_COMP);
  }
  EXPECT_EQ(DownloadsSent(), 3u);
}

}  // namespace

// The drive guard: polling paused and put back (by the provider's end or a
// signal), the block device held, and what a user without rights lacks.
TEST_F(SgExclusive, TheKernelAndOtherProgramsAreKeptAwayFromTheDownloadToTheEnd) {
  struct Case {
    const char* name;
    const char* poll;    // events_poll_msecs before; nullptr: no block device
    int refusal;         // errno of access to and writes of it, of opening /dev/sr0
    int blockError;      // ENOENT: no /dev/sr0 at all
    const char* limits;  // in GuardLimits ("": none), the polling meanwhile, in the messages
    const char* during;
    const char* told;
    bool bySignal;  // put back by RunExitRestores, as a signal would
  } cases[] = {
      {"root", "2000", 0, 0, "", "0", "", false},
      {"system default, ended by a signal", "-1", 0, 0, "", "0", "", true},
      {"mounted", "2000", 0, EBUSY, "", "0", "/sr0 is in use", false},
      {"not root", "2000", EACCES, EACCES, "polling of sr0 nor keep other programs", "2000",
       "cannot be paused (Permission denied)", false},
      // Root, but no node was made for the block device: not a matter of rights.
      {"no /dev/sr0", "2000", 0, ENOENT, "/sr0 does not exist", "0", "/sr0 cannot be opened",
       false},
      {"no block device", nullptr, 0, 0, "", nullptr, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSysfs tree;
    auto fake = std::make_shared<FakeSgSystem>();
    tree.AddNode("sg0", "0:0:0:0");
    fake->nodes[tree.DevRoot() + "/sg0"] = FakeSgSystem::Node{{0, 0, 0, 0}, 0};
    const std::string block = tree.DevRoot() + "/sr0";
    if (c.poll != nullptr) {
      tree.AddBlock("0:0:0:0", "sr0", c.poll);
      fake->blocks[block] = c.blockError;
      if (c.blockError == ENOENT) fake->refusedPaths[block] = ENOENT;
      if (c.refusal != 0) {
        fake->refusedPaths[tree.Root() + "/block/sr0/events_poll_msecs"] = c.refusal;
        fake->refusedPaths[block] = c.refusal;
      }
    }
    auto copy = std::make_unique<Copy>(tree, fake);
    const std::string limits = copy->provider->GuardLimits(0, 0);
    EXPECT_EQ(limits.empty(), *c.limits == '\0') << limits;
    EXPECT_NE(limits.find(c.limits), std::string::npos) << limits;
    EXPECT_EQ(limits.find("root rights") != std::string::npos, c.refusal == EACCES) << limits;
    EXPECT_EQ(copy->Send(kDownload), SS_COMP);
    EXPECT_EQ(copy->Send(kInquiry), SS_COMP);
    if (c.poll == nullptr) continue;
    EXPECT_EQ(tree.PollMsecs("sr0"), c.during);
    EXPECT_EQ(fake->heldBlocks.size(), c.blockError == 0 ? 1u : 0u);
    const std::string told = copy->messages.str();
    EXPECT_EQ(told.empty(), *c.told == '\0') << told;
    EXPECT_NE(told.find(c.told), std::string::npos) << told;
    if (c.bySignal) RunExitRestores();
    EXPECT_EQ(tree.PollMsecs("sr0"), c.bySignal ? c.poll : c.during);
    copy.reset();
    EXPECT_EQ(tree.PollMsecs("sr0"), c.poll);
    EXPECT_TRUE(fake->heldBlocks.empty());
  }
}
