// The ASPI library loaded at run time by ordinal, and the choice between it
// and the pass-through fallback.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/windows/fake_cdrom_devices.h"
#include "transports/windows/windows_transport.h"
#include "transports/windows/wnaspi32_provider.h"

namespace {

constexpr const char* kTestLibrary = "test_wnaspi32.dll";

// Ordinals 3 and 4 of the test library: what ordinal 1 answers, and the last
// block ordinal 2 was handed.
class TestLibrary {
 public:
  TestLibrary() : module_(LoadLibraryA(kTestLibrary)) {}
  ~TestLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  bool Loaded() const { return module_ != nullptr; }
  void SetSupportInfo(DWORD value) {
    reinterpret_cast<void(__cdecl*)(DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(3))))(value);
  }
  void* LastRequest() {
    return reinterpret_cast<void*(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(4))))();
  }

 private:
  HMODULE module_;
};

TEST(Wnaspi32Provider, CallsTheLibraryByOrdinal) {
  TestLibrary library;
  ASSERT_TRUE(library.Loaded());
  library.SetSupportInfo(0x0102);
  std::string problem;
  auto provider = Wnaspi32Provider::Load(kTestLibrary, problem);
  ASSERT_NE(provider, nullptr) << problem;
  EXPECT_EQ(provider->GetSupportInfo(), 0x0102u);
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  EXPECT_EQ(provider->SendCommand(&srb), SS_COMP);
  EXPECT_EQ(library.LastRequest(), &srb) << "the block itself is handed over, not a copy";
  EXPECT_EQ(srb.SRB_Status, SS_COMP);
}

TEST(Wnaspi32Provider, AMissingLibraryIsReportedNotFatal) {
  std::string problem;
  auto provider = Wnaspi32Provider::Load("no_such_aspi_library.dll", problem);
  EXPECT_EQ(provider, nullptr);
  EXPECT_NE(problem.find("no_such_aspi_library.dll not loaded"), std::string::npos) << problem;
}

TEST(Wnaspi32Provider, NeverLoadsALibraryFromTheCurrentFolder) {
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, sizeof program);
  std::string folder = program;
  folder.resize(folder.find_last_of("\\/") + 1);
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string planted = std::string(temp) + "qtr5_planted_aspi.dll";
  ASSERT_TRUE(CopyFileA((folder + kTestLibrary).c_str(), planted.c_str(), FALSE));
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof previous, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(temp));
  std::string problem;
  auto provider = Wnaspi32Provider::Load("qtr5_planted_aspi.dll", problem);
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(provider, nullptr) << "a library in the current folder was loaded";
  provider.reset();
  DeleteFileA(planted.c_str());
}

struct Choice {
  const char* name;
  const char* library;
  DWORD supportInfo;
  bool withDrive;
  const char* expectName;
  const char* expectNote;  // nullptr: no notes at all
};

class TransportChoiceTest : public ::testing::TestWithParam<Choice> {};

TEST_P(TransportChoiceTest, AspiOnlyWithAnAdapterElsePassThrough) {
  const Choice& c = GetParam();
  TestLibrary library;
  ASSERT_TRUE(library.Loaded());
  library.SetSupportInfo(c.supportInfo);
  FakeCdRoms fake;
  if (c.withDrive) fake.devices[0].address = FakeCdRoms::Address(0, 0, 0);
  WindowsTransport transport = ChooseWindowsTransport(c.library, fake.System());
  ASSERT_NE(transport.provider, nullptr);
  EXPECT_EQ(transport.name, c.expectName);
  const std::string text = DescribeTransport(transport);
  EXPECT_EQ(text.rfind(std::string("transport: ") + c.expectName + "\n", 0), 0u) << text;
  if (c.expectNote == nullptr) {
    EXPECT_TRUE(transport.notes.empty()) << text;
    EXPECT_EQ(fake.opened, 0) << "no device is opened when the service is used";
  } else {
    EXPECT_NE(text.find(c.expectNote), std::string::npos) << text;
  }
  const DWORD info = transport.provider->GetSupportInfo();
  EXPECT_EQ((info >> 8) == SS_COMP, c.withDrive || c.expectNote == nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, TransportChoiceTest,
    ::testing::Values(
        Choice{"ServiceWithAdapters", kTestLibrary, 0x0102, true, kAspiTransportName, nullptr},
        Choice{"ServiceWithoutAdapters", kTestLibrary, 0xE800, true, kPassThroughTransportName,
               "reports no host adapter (ASPI status 0xE8: it found no host adapter)"},
        Choice{"ServiceReadyButEmpty", kTestLibrary, 0x0100, true, kPassThroughTransportName,
               "(ASPI status 0x01: it is ready but counts no host adapter)"},
        Choice{"ServiceFailedWithCount", kTestLibrary, 0xE402, false, kPassThroughTransportName,
               "(ASPI status 0xE4: it failed to initialise)"},
        Choice{"NoServiceNoDrive", "no_such_aspi_library.dll", 0, false, kPassThroughTransportName,
               "no CD-ROM device found (none of \\\\.\\CdRom0 to \\\\.\\CdRom31,"},
        Choice{"NoServiceWithDrive", "no_such_aspi_library.dll", 0, true, kPassThroughTransportName,
               "not loaded"}),
    [](const ::testing::TestParamInfo<Choice>& info) { return info.param.name; });

}  // namespace
