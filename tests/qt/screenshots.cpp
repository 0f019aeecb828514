// Screenshots of the window in each of its states, for the documentation.
// Not a test: tools/screenshots.sh runs it under Xvfb with a window manager,
// QTR5_SCREENSHOT_DIR naming the folder for the PNG files and
// QTR5_SAMPLE_IMAGE the repository's sample image, which the program finds
// as its default image. Each case drives the program on the emulated drive
// to a state and photographs the screen area of the windows that are up
// (title bars included).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/main_dialog.h"
#include "app/run_context.h"
#include "frontends/desktop/box_layout.h"
#include "resources/resource_ids.h"
#include "tests/qt/qt_harness.h"

namespace {

class Screenshots : public QtAppTest {
 protected:
  Screenshots() {
    backend_.inputLimitMs = 20000;
    // The boxes as the desktop program lays them out.
    backend_.SetBoxLayout([this](const std::string& text, const std::string& caption) {
      return qtr5::LayOutBox(text, caption, boxes_);
    });
  }
  // Opens what is behind a box's Details button.
  static void ShowDetails(QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* button : box->buttons())
      if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();
  }
  qtr5::BoxContext boxes_;

  // The sample image, under the name the program looks for at start.
  void UseSampleImage() {
    const char* sample = std::getenv("QTR5_SAMPLE_IMAGE");
    ASSERT_NE(sample, nullptr) << "QTR5_SAMPLE_IMAGE names no image";
    std::error_code error;
    std::filesystem::copy_file(sample, kDefaultImageName,
                               std::filesystem::copy_options::overwrite_existing, error);
    ASSERT_FALSE(error) << sample << ": " << error.message();
  }

  // Waits until `windows` are on the screen and painted, then saves the
  // screen area that holds all of them.
  void Shoot(const char* name, std::initializer_list<QWidget*> windows) {
    QRect area;
    for (QWidget* window : windows) {
      ASSERT_NE(window, nullptr) << name;
      EXPECT_TRUE(QTest::qWaitForWindowExposed(window)) << name;
    }
    QTest::qWait(400);  // the window manager draws its frames
    for (QWidget* window : windows) area |= window->frameGeometry();
    const char* dir = std::getenv("QTR5_SCREENSHOT_DIR");
    ASSERT_NE(dir, nullptr);
    QScreen* screen = (*windows.begin())->screen();
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name));
    EXPECT_TRUE(shot.save(path, "PNG")) << path.toStdString();
  }
  // A download that did not succeed, with its picture and the box that says
  // why: NAME.png and NAME-why.png.
  void ShootFailure(const DeviceOptions& drive, const std::string& name) {
    ASSERT_NO_FATAL_FAILURE(UseSampleImage());
    AddDrive(0, 0, drive);
    Start();
    Then([&] {
      run_.request.explainFailures = true;  // as the desktop program run by a person
      QTest::mouseClick(Control(kIdDownload), Qt::LeftButton);
    });
    WhenModal([&](QWidget* why) {
      ShowDetails(why);
      Shoot((name + "-why.png").c_str(), {Window(), why});
      ClickBoxButton(why, "OK");
    });
    Then([&] {
      Shoot((name + ".png").c_str(), {Window()});
      CloseMain();
    });
    Run();
  }
  // Photographs the main window once the mid-download frame is up.
  void ShootWhileDownloading() {
    backend_.afterRepaint = [this](const RecordingBackend::Frame& frame) {
      if (frame.picture == kBitmapWait && frame.progressValue >= 40) {
        backend_.afterRepaint = nullptr;
        Shoot("downloading.png", {Window()});
      }
    };
  }
  void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
};

TEST_F(Screenshots, StartDownloadAndOk) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  AddDrive(0, 0);
  Start();
  Then([&] {
    Shoot("start.png", {Window()});
    ShootWhileDownloading();
    Click(kIdDownload);
  });
  WhenModal([&](QWidget* notice) {
    Shoot("ok-notice.png", {Window(), notice});
    ClickBoxButton(notice, "OK");
  });
  Then([&] {
    Shoot("ok.png", {Window()});
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
}

// The close box clicked while the drive is being reprogrammed.
TEST_F(Screenshots, CloseWhileDownloading) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  AddDrive(0, 0);
  Start();
  bool shot = false;
  backend_.afterRepaint = [&](const RecordingBackend::Frame& frame) {
    if (shot || frame.picture != kBitmapWait || frame.progressValue < 40) return;
    shot = true;
    Window()->close();
    QWidget* note = backend_.BusyNote();
    ASSERT_NE(note, nullptr);
    Shoot("close-while-downloading.png", {Window(), note});
  };
  WhenModal([&](QWidget* notice) { ClickBoxButton(notice, "OK"); });
  Then([&] { Click(kIdDownload); });
  Then([&] { CloseMain(); });
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(shot);
}

// A CD-ROM drive of another model and a disk: not accepted, and the box
// after "Fail to Find Device" says so.
TEST_F(Screenshots, NoDevice) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  DeviceOptions other;
  other.kind = DeviceKind::kCdrom;
  AddDrive(0, 0, other);
  other.kind = DeviceKind::kDisk;
  AddDrive(0, 1, other);
  run_.request.explainFailures = true;  // as the desktop program run by a person
  WhenModal([&](QWidget* why) {
    ShowDetails(why);
    Shoot("no-device-why.png", {Window(), why});
    ClickBoxButton(why, "OK");
  });
  Start();
  Then([&] {
    Shoot("no-device.png", {Window()});
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
}

TEST_F(Screenshots, FailedDownload) {
  DeviceOptions refusing;
  refusing.faults.push_back(Fault{FaultKind::kRefuseImage, FaultScope::kDownload});
  ShootFailure(refusing, "ng");
}

TEST_F(Screenshots, IncompleteDownload) {
  DeviceOptions failing;
  failing.faults.push_back(Fault{FaultKind::kRefuseDownload, FaultScope::kDownload});
  ShootFailure(failing, "incomplete");
}

TEST_F(Screenshots, UnconfirmedDownload) {
  DeviceOptions neverBack;
  neverBack.busyMs = 0x7FFFFFFF;
  ShootFailure(neverBack, "unconfirmed");
}

// The start-up scan, photographed from inside its wait for a drive that is
// becoming ready.
TEST_F(Screenshots, Searching) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  DeviceOptions becoming;
  becoming.faults.push_back(Fault{FaultKind::kBecomingReady});
  AddDrive(0, 0, becoming);
  bool shot = false;
  run_.request.waitPump = [&] {
    if (shot || Window() == nullptr || ShownStatus() != "Searching for the drive...") return;
    shot = true;
    Shoot("searching.png", {Window()});
  };
  Start();
  Then([&] { CloseMain(); });
  Run();
  EXPECT_TRUE(shot);
}

// A drive that says it is busy after the download: the longest status line,
// the note that the program waits for it. tools/screenshots.sh also takes
// it at QT_SCALE_FACTOR=2 on a 1024x768 screen, where the window is drawn
// smaller to fit.
TEST_F(Screenshots, WaitingForABusyDrive) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  DeviceOptions busy;
  busy.busyMs = 60000;
  AddDrive(0, 0, busy);
  bool shot = false;
  // Taken from inside the wait for the drive, while the note is up.
  run_.request.waitPump = [&] {
    if (shot || !ShownStatus().startsWith("Waiting for the drive: it says it is busy")) return;
    shot = true;
    Shoot("waiting.png", {Window()});
  };
  Start();
  WhenModal([&](QWidget* box) { ClickBoxButton(box, "OK"); });
  Then([&] { Click(kIdDownload); });
  Then([&] { CloseMain(); });
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(shot);
}

TEST_F(Screenshots, SelectDevice) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  // Same model and revision: the address column tells them apart.
  AddDrive(0, 0);
  AddDrive(1, 1);
  Then([&] {
    QWidget* dialog = DialogWindow(kDialogSelectDevice);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ClickSelectDeviceRow(1));
    Shoot("select-device.png", {Window(), dialog});
    dialog->close();
  });
  Start();
  Then([&] { CloseMain(); });
  EXPECT_EQ(Run(), 0);
}

TEST_F(Screenshots, ReleaseNote) {
  ASSERT_NO_FATAL_FAILURE(UseSampleImage());
  AddDrive(0, 0);
  Start();
  Then([&] { Click(kIdPicture); });
  Then([&] {
    QWidget* dialog = DialogWindow(kDialogReleaseNote);
    Shoot("release-note.png", {Window(), dialog});
    dialog->close();
  });
  Then([&] { CloseMain(); });
  EXPECT_EQ(Run(), 0);
}

TEST_F(Screenshots, NoDefaultImage) {
  AddDrive(0, 0);
  WhenModal([&](QWidget* box) {
    // Qt's idea of where the window manager put an unowned box is off by
    // the title bar's height; placing the box anew, once it is up, makes the
    // two agree for the picture.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    box->move(box->pos() + QPoint(0, 1));
    Shoot("image-not-found.png", {box});  // the main window is not shown yet
    ClickBoxButton(box, "OK");
  });
  Start();
  Then([&] { CloseMain(); });
  EXPECT_EQ(Run(), 0);
}

}  // namespace
