// What the transport cannot keep away from the drive while it rewrites its
// firmware comes up in the window before the download, for a chosen drive.
#include <gtest/gtest.h>

#include <QMessageBox>

#include "app/main_dialog.h"
#include "aspi/aspi_provider.h"
#include "frontends/desktop/guard_warning.h"
#include "tests/qt/qt_harness.h"

namespace {

// The emulated bus, as a transport that cannot pause the kernel's polling.
class LimitedBus : public AspiProvider {
 public:
  explicit LimitedBus(EmulatedBus& bus) : bus_(bus) {}
  aspi::DWORD GetSupportInfo() override { return bus_.GetSupportInfo(); }
  aspi::DWORD SendCommand(void* srb) override { return bus_.SendCommand(srb); }
  const char* Name() const override { return "emulated"; }
  std::string GuardLimits(aspi::BYTE, aspi::BYTE) const override { return "Cannot pause."; }

 private:
  EmulatedBus& bus_;
};

class GuardWarningTest : public QtAppTest {
 protected:
  // Runs the window until it is closed; what the warning told on the side.
  std::string RunWarned() {
    LimitedBus transport(*bus_);
    InstallAspiProvider(&transport);
    std::string told;
    const qtr5::GuardWarningShown warning(
        backend_, [this] { return &run_.record; },
        [&told](const std::string& line) { told += line; });
    Start();
    Then([&] { CloseMain(); });
    EXPECT_EQ(Run(), 0);
    InstallAspiProvider(bus_.get());
    return told;
  }
};

TEST_F(GuardWarningTest, ABoxSaysItOnceTheDriveIsChosenBeforeTheDownload) {
  WriteDefaultImage();
  AddDrive(0, 0);
  BoxContents box;
  QString status;
  WhenModal([&](QWidget* modal) {
    box = ReadBox(modal);
    status = ShownStatus();
    ClickBoxButton(modal, "OK");
  });
  EXPECT_EQ(RunWarned(), "Warning: Cannot pause.");
  EXPECT_EQ(modalAnswered_, 1);
  EXPECT_EQ(box.text, "Cannot pause.");
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(status, kTextReadyToDownload);
}

TEST_F(GuardWarningTest, WithoutADriveNothingIsSaid) {
  WriteDefaultImage();
  EXPECT_EQ(RunWarned(), "");
  EXPECT_EQ(modalAnswered_, 0);
}

}  // namespace
