// What the transport cannot keep away from the drive while it rewrites its
// firmware comes up in the window before the download, once, and only for
// a drive that was chosen.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <string>
#include <utility>

#include "app/main_dialog.h"
#include "app/run_context.h"
#include "aspi/aspi_provider.h"
#include "frontends/desktop/guard_warning.h"
#include "tests/qt/qt_harness.h"

namespace {

// The emulated bus, as a transport that cannot do everything it would.
class LimitedBus : public AspiProvider {
 public:
  LimitedBus(EmulatedBus& bus, std::string limits) : bus_(bus), limits_(std::move(limits)) {}
  aspi::DWORD GetSupportInfo() override { return bus_.GetSupportInfo(); }
  aspi::DWORD SendCommand(void* srb) override { return bus_.SendCommand(srb); }
  const char* Name() const override { return "emulated"; }
  std::string GuardLimits(aspi::BYTE, aspi::BYTE) const override { return limits_; }

 private:
  EmulatedBus& bus_;
  std::string limits_;
};

class GuardWarningTest : public QtAppTest {};

TEST_F(GuardWarningTest, ItIsShownInTheWindowBeforeTheDownloadWhenADriveWasChosen) {
  const std::string rights =
      "Without root rights the program cannot pause the kernel's media polling of sr0 while "
      "the drive rewrites its firmware.";
  const struct {
    const char* name;
    bool drive;
    std::string limits;
    bool shown;
  } cases[] = {
      {"limited", true, rights, true},
      {"nothing to tell", true, "", false},
      {"no drive", false, rights, false},
  };
  WriteDefaultImage();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetApplicationState();
    run_ = RunContext();
    bus_ = std::make_unique<EmulatedBus>();
    bus_->SetClock([this] { return clock_.Now(); });
    if (c.drive) AddDrive(0, 0);
    LimitedBus transport(*bus_, c.limits);
    InstallAspiProvider(&transport);
    std::string told;
    const qtr5::GuardWarningShown warning(
        backend_, [this] { return &run_.record; },
        [&told](const std::string& line) { told += line; });
    modalAnswered_ = 0;
    BoxContents box;
    QString statusThen;
    if (c.shown) {
      WhenModal([&](QWidget* modal) {
        box = ReadBox(modal);
        statusThen = ShownStatus();
        ClickBoxButton(modal, "OK");
      });
    }
    Start();
    Then([&] { CloseMain(); });
    EXPECT_EQ(Run(), 0);
    app_.reset();
    g_app = nullptr;
    InstallAspiProvider(nullptr);
    EXPECT_EQ(told, c.shown ? "Warning: " + rights : "");
    if (!c.shown) continue;
    EXPECT_EQ(modalAnswered_, 1);
    EXPECT_EQ(box.text.toStdString(), rights);
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(statusThen, kTextReadyToDownload);
  }
}

}  // namespace
