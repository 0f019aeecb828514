// The real system calls: a node that is no SCSI device never yields a
// success, and, where the kernel's scsi_debug module can be loaded, INQUIRY
// reaches its emulated CD-ROM drive through the whole provider.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fake_sg.h"
#include "transports/linux/sg_outcome.h"
#include "transports/linux/sg_provider.h"
#include "transports/linux/sg_system.h"

namespace fs = std::filesystem;

namespace {

TEST(SgRealSystem, APassThroughOnANodeThatIsNoScsiDeviceIsNeverASuccess) {
  auto system = sg::CreateLinuxSgSystem();
  EXPECT_EQ(system->Open("/nonexistent-qtr5/sg0", false), -ENOENT);
  const int fd = system->Open("/dev/null", false);
  ASSERT_GE(fd, 0);
  sg::ScsiAddress address;
  EXPECT_NE(system->GetScsiAddress(fd, address), 0);
  std::uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
  std::uint8_t data[36] = {};
  std::uint8_t sense[32] = {};
  sg::PassThroughRequest request;
  request.fd = fd;
  request.cdb = cdb;
  request.cdbLength = 6;
  request.direction = sg::DataDirection::kIn;
  request.data = data;
  request.length = sizeof data;
  request.sense = sense;
  request.senseCapacity = sizeof sense;
  request.timeoutSeconds = 1;
  const sg::PassThroughResult result = system->PassThrough(request);
  const sg::Verdict verdict = sg::JudgePassThrough(result, request.direction, 36, sense);
  EXPECT_NE(verdict.status, SS_COMP)
      << "submit " << result.submitResult << " os " << result.osError;
  EXPECT_FALSE(verdict.problem.empty());
  system->Close(fd);
}

// A command whose answer never comes is given up at the program's deadline,
// not the kernel's: a socket stands in for a node that never answers.
TEST(SgRealSystem, ACommandWithoutAnAnswerIsGivenUpAtTheProgramsDeadline) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  auto system = sg::CreateLinuxSgSystem();
  std::uint8_t cdb[6] = {0x1B, 0, 0, 0, 2, 0};
  std::uint8_t sense[32] = {};
  sg::PassThroughRequest request;
  request.fd = pair[0];
  request.cdb = cdb;
  request.cdbLength = 6;
  request.sense = sense;
  request.senseCapacity = sizeof sense;
  request.timeoutSeconds = 30;
  request.waitMilliseconds = 300;
  const auto start = std::chrono::steady_clock::now();
  const sg::PassThroughResult result = system->PassThrough(request);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(result.abandoned);
  EXPECT_GE(took, std::chrono::milliseconds(300));
  EXPECT_LT(took, std::chrono::seconds(5));
  close(pair[0]);
  close(pair[1]);
}

// The sg node of a scsi_debug device, or "".
std::string FindScsiDebugNode() {
  std::error_code error;
  for (fs::directory_iterator it("/sys/class/scsi_generic", error), end; !error && it != end;
       it.increment(error)) {
    std::ifstream model(it->path() / "device" / "model");
    std::string text;
    std::getline(model, text);
    if (text.rfind("scsi_debug", 0) == 0 && fs::exists("/dev/" + it->path().filename().string())) {
      return it->path().filename().string();
    }
  }
  return {};
}

TEST(SgScsiDebug, InquiryReachesTheEmulatedCdRomDrive) {
  if (std::getenv("QTR5_NO_SCSI_DEBUG") != nullptr) GTEST_SKIP() << "QTR5_NO_SCSI_DEBUG is set";
  bool loadedHere = false;
  if (FindScsiDebugNode().empty()) {
    if (geteuid() != 0) GTEST_SKIP() << "loading the scsi_debug module needs root";
    if (std::system("modprobe sg >/dev/null 2>&1; "
                    "modprobe scsi_debug ptype=5 num_tgts=1 max_luns=1 >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "the kernel's scsi_debug module cannot be loaded here";
    }
    loadedHere = true;
    for (int i = 0; i < 50 && FindScsiDebugNode().empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  const std::string node = FindScsiDebugNode();
  if (node.empty()) {
    if (loadedHere) (void)std::system("modprobe -r scsi_debug >/dev/null 2>&1");
    GTEST_SKIP() << "scsi_debug was loaded but offers no SCSI generic node";
  }

  std::string diagnostics;
  auto provider = CreateSgProvider(diagnostics);
  const aspi::DWORD info = provider->GetSupportInfo();
  ASSERT_EQ((info >> 8) & 0xFF, SS_COMP) << diagnostics;
  bool found = false;
  for (unsigned ha = 0; ha < (info & 0xFF) && !found; ++ha) {
    for (unsigned target = 0; target < 8 && !found; ++target) {
      std::uint8_t data[36] = {};
      SRB_ExecSCSICmd srb =
          sgtest::InquiryRequest(static_cast<int>(ha), static_cast<int>(target), 0, data);
      provider->SendCommand(&srb);
      if (srb.SRB_Status == SS_COMP && std::memcmp(data + 16, "scsi_debug", 10) == 0) {
        found = true;
        EXPECT_EQ(srb.SenseArea[0], 0);
        if (loadedHere) {
          EXPECT_EQ(data[0] & 0x1F, 0x05) << "loaded with ptype=5";
        }
      }
    }
  }
  provider.reset();
  if (loadedHere) (void)std::system("modprobe -r scsi_debug >/dev/null 2>&1");
  EXPECT_TRUE(found) << "no adapter/target answered as scsi_debug (" << node << ")";
}

}  // namespace
