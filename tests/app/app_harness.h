// The test bench of the application tests: the program's own code on the
// headless window backend, an emulated bus as the ASPI service, a fake clock
// behind GetTickCount and Sleep (shared with the emulated drives), and a
// working directory of its own for the default image.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "tests/support/fake_clock.h"
#include "tests/support/headless/headless.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"
#include "transports/emulated/emulated_bus.h"

// The model string (vendor and product identification) of an emulated drive.
inline constexpr const char* kDriveModel = "QTR5    CD-ROM XPM-3177K";

// Makes the Nth ReportList allocation from now on fail (1 = the next one);
// 0 turns the failure off. Only `new (std::nothrow) ReportList` is affected.
void FailReportListAllocation(int nth);

class AppTest : public ::testing::Test {
 protected:
  AppTest();
  ~AppTest() override;

  // Devices on the bus (adapters are added as needed).
  void AddDevice(std::uint8_t adapter, std::uint8_t target, DeviceOptions options = {});
  void AddDrive(std::uint8_t adapter, std::uint8_t target, const std::string& revision = "");
  // A file in the working directory.
  void WriteFile(const std::string& name, const std::string& content);
  // The default image QTR5_ORNA.HEX with `bytes` at `address`.
  void WriteDefaultImage(std::uint16_t address = 0,
                         const std::vector<std::uint8_t>& bytes = {0xFF});

  // Builds the application as the entry does (start-up included) and sets g_app.
  // `procedure` stands in for the main window's dialog procedure.
  DownloadApp& Start(DLGPROC procedure = MainDialogProc);
  HWND Main() const { return app_ ? app_->mainWindow : nullptr; }

  std::string Status() const;
  std::vector<std::string> StatusHistory() const;
  // "Value" column of report row `row`.
  std::string Row(int row) const;
  int Picture() const;
  bool Enabled(int id) const;
  // SCSI commands with operation code `opcode` sent to adapter:target.
  int CountTo(std::uint8_t adapter, std::uint8_t target, std::uint8_t opcode) const;
  // SCSI commands of the whole bus (request blocks of kind SC_EXEC_SCSI_CMD).
  std::vector<LoggedCommand> ScsiCommands() const;

  const std::string& WorkDirectory() const { return workDir_.path(); }

  qtr5::FakeClock clock_{1000, 1};
  std::unique_ptr<EmulatedBus> bus_;
  qtr5::HeadlessDriver driver_;
  RunContext run_;  // the run the application works for
  std::unique_ptr<DownloadApp> app_;

 private:
  qtr5::ScopedClock scopedClock_{clock_};
  TempDir workDir_{"qtr5-app"};
  std::string previousDir_;
};
