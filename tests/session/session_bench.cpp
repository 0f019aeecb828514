#include "tests/session/session_bench.h"

#include <filesystem>
#include <fstream>

#include "discovery/device_table.h"

SessionTest::SessionTest() : bus_(std::make_unique<EmulatedBus>()) {
  g_deviceCount = 0;
  bus_->SetClock([this] { return clock_.Now(); });
  InstallAspiProvider(bus_.get());
  previousDir_ = std::filesystem::current_path().string();
  std::filesystem::current_path(workDir_.path());
}

SessionTest::~SessionTest() {
  session_.reset();
  device_.reset();
  InstallAspiProvider(nullptr);
  std::filesystem::current_path(previousDir_);
  g_deviceCount = 0;
}

void SessionTest::AddDevice(std::uint8_t adapter, std::uint8_t target, DeviceOptions options) {
  std::string error;
  ASSERT_TRUE(bus_->AddDevice(adapter, target, options, error)) << error;
}

void SessionTest::WriteFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

FlashSession& SessionTest::Start() {
  device_ = std::make_unique<AspiDevice>();
  session_ = std::make_unique<FlashSession>(*device_, request_, record_, scan_, events_, answers_);
  if (session_->Scan() == ScanResult::kChosen) session_->OpenTray();
  return *session_;
}

std::string SessionTest::Status() const {
  return events_.statuses.empty() ? std::string() : events_.statuses.back();
}

std::vector<LoggedCommand> SessionTest::ScsiCommands() const {
  std::vector<LoggedCommand> commands;
  for (const LoggedCommand& command : bus_->Log()) {
    if (command.requestKind == SC_EXEC_SCSI_CMD) commands.push_back(command);
  }
  return commands;
}
