// The test bench of the session tests: a FlashSession on an emulated bus (the
// ASPI service), a fake clock behind its waits (shared with the emulated
// drives), an observer that keeps every event and questions answered as the
// test says, and a working directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_device.h"
#include "discovery/scan_record.h"
#include "session/flash_session.h"
#include "session/session_observer.h"
#include "session/session_questions.h"
#include "tests/support/fake_clock.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"
#include "transports/emulated/emulated_bus.h"

// Every event the session told, in order where order matters.
class KeptEvents : public SessionObserver {
 public:
  void StatusChanged(std::string_view text) override { statuses.emplace_back(text); }
  void ReportRowChanged(ReportRow row, std::string_view value) override {
    rows[static_cast<std::size_t>(row)] = value;
  }
  void ProgressChanged(int percent) override { progress.push_back(percent); }
  void BusyTick(bool waitFrame) override { ticks.push_back(waitFrame); }
  void WaitingNote(std::string_view text) override { statuses.emplace_back(text); }
  void WaitingEnded(std::string_view previous) override { statuses.emplace_back(previous); }
  void Notice(std::string_view caption, std::string_view text) override {
    notices.push_back(std::string(caption) + ": " + std::string(text));
  }

  std::vector<std::string> statuses;
  std::array<std::string, kReportRowCount> rows;
  std::vector<int> progress;
  std::vector<bool> ticks;
  std::vector<std::string> notices;
};

// Answers as the test sets: the drive chosen, whether warnings are accepted.
class SetAnswers : public SessionQuestions {
 public:
  int ChooseDrive() override { return drive; }
  bool ConfirmImageWarning(const std::string& /*warning*/) override { return acceptWarnings; }
  DownloadConsent ConfirmDownload(const std::string& /*image*/, bool /*tooLong*/) override {
    return {true, {}};
  }
  int drive = 0;
  bool acceptWarnings = true;
};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest();
  ~SessionTest() override;

  void AddDevice(std::uint8_t adapter, std::uint8_t target, DeviceOptions options = {});
  // A file in the working directory.
  void WriteFile(const std::string& name, const std::string& content);
  // The session, with its drive scanned and chosen and its tray opened, as
  // the start-up does.
  FlashSession& Start();

  // The status line's text now, and every text it showed.
  std::string Status() const;
  const std::vector<std::string>& StatusHistory() const { return events_.statuses; }
  // Report row `row`'s value.
  std::string Row(int row) const { return events_.rows[static_cast<std::size_t>(row)]; }
  // SCSI commands of the whole bus (request blocks of kind SC_EXEC_SCSI_CMD).
  std::vector<LoggedCommand> ScsiCommands() const;

  qtr5::FakeClock clock_{1000, 1};
  std::unique_ptr<EmulatedBus> bus_;
  SessionRequest request_;
  RunRecord record_;
  ScanRecord scan_;
  KeptEvents events_;
  SetAnswers answers_;
  std::unique_ptr<AspiDevice> device_;
  std::unique_ptr<FlashSession> session_;

 private:
  qtr5::ScopedClock scopedClock_{clock_};
  TempDir workDir_{"qtr5-session"};
  std::string previousDir_;
};
