#include "tests/app/app_harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#include "app/main_dialog.h"
#include "app/report_list.h"
#include "app/run_context.h"
#include "app/select_device.h"
#include "discovery/device_table.h"
#include "resources/resource_ids.h"

namespace {

int g_reportListFailureCountdown = 0;

}  // namespace

void FailReportListAllocation(int nth) {
  g_reportListFailureCountdown = nth;
}

// The core allocates its report lists with new (std::nothrow); this test
// binary's replacement lets a test make one of them fail.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (size == sizeof(ReportList) && g_reportListFailureCountdown > 0) {
    if (--g_reportListFailureCountdown == 0) return nullptr;
  }
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

AppTest::AppTest() : bus_(std::make_unique<EmulatedBus>()) {
  ResetApplicationState();
  g_app = nullptr;
  g_selectList = nullptr;
  bus_->SetClock([this] { return clock_.Now(); });
  InstallAspiProvider(bus_.get());
  previousDir_ = std::filesystem::current_path().string();
  std::filesystem::current_path(workDir_.path());
}

AppTest::~AppTest() {
  app_.reset();
  g_app = nullptr;
  FailReportListAllocation(0);
  InstallAspiProvider(nullptr);
  std::filesystem::current_path(previousDir_);
  ResetApplicationState();
}

void AppTest::AddDevice(std::uint8_t adapter, std::uint8_t target, DeviceOptions options) {
  std::string error;
  ASSERT_TRUE(bus_->AddDevice(adapter, target, options, error)) << error;
}

void AppTest::AddDrive(std::uint8_t adapter, std::uint8_t target, const std::string& revision) {
  DeviceOptions options;
  options.revision = revision;
  AddDevice(adapter, target, options);
}

void AppTest::WriteFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

void AppTest::WriteDefaultImage(std::uint16_t address, const std::vector<std::uint8_t>& bytes) {
  WriteFile(kDefaultImageName, HexFile(address, bytes));
}

DownloadApp& AppTest::Start(DLGPROC procedure) {
  app_ = std::make_unique<DownloadApp>(nullptr, MAKEINTRESOURCEA(kDialogMain), procedure, SW_SHOW,
                                       run_);
  g_app = app_.get();
  return *app_;
}

std::string AppTest::Status() const {
  return driver_.Text(Main(), kIdStatus);
}

std::vector<std::string> AppTest::StatusHistory() const {
  return driver_.TextHistory(Main(), kIdStatus);
}

std::string AppTest::Row(int row) const {
  return driver_.Cell(Main(), kIdReport, row, 1);
}

int AppTest::Picture() const {
  return driver_.Picture(Main(), kIdPicture);
}

bool AppTest::Enabled(int id) const {
  return driver_.Enabled(Main(), id);
}

int AppTest::CountTo(std::uint8_t adapter, std::uint8_t target, std::uint8_t opcode) const {
  int count = 0;
  for (const LoggedCommand& command : bus_->CommandsTo(adapter, target)) {
    if (command.requestKind == SC_EXEC_SCSI_CMD && command.Opcode() == opcode) ++count;
  }
  return count;
}

std::vector<LoggedCommand> AppTest::ScsiCommands() const {
  std::vector<LoggedCommand> commands;
  for (const LoggedCommand& command : bus_->Log()) {
    if (command.requestKind == SC_EXEC_SCSI_CMD) commands.push_back(command);
  }
  return commands;
}
