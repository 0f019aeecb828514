// The main window on the screen, row by row of its state table, while the
// program runs on the emulated drive: what each control shows, whether it
// takes input, which picture is up, and the message boxes and dialogs.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "app/main_dialog.h"
#include "resources/resource_ids.h"
#include "system/interruption.h"
#include "tests/qt/qt_harness.h"
#include "winui/qt/qt_controls.h"

namespace {

class MainWindowTest : public QtAppTest {
 protected:
  struct Row {
    bool download, cancel, browse, fileName;
    int picture;
  };
  Row Shown() const {
    return {Control(kIdDownload)->isEnabled(), Control(kIdCancel)->isEnabled(),
            Control(kIdBrowse)->isEnabled(), Control(kIdFileName)->isEnabled(), ShownPicture()};
  }
  void ExpectRow(const char* name, Row expected) {
    SCOPED_TRACE(name);
    const Row shown = Shown();
    EXPECT_EQ(shown.download, expected.download);
    EXPECT_EQ(shown.cancel, expected.cancel);
    EXPECT_EQ(shown.browse, expected.browse);
    EXPECT_EQ(shown.fileName, expected.fileName);
    EXPECT_EQ(shown.picture, expected.picture);
  }
  void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
  QString FileBox() const { return ControlAs<QLineEdit>(kIdFileName)->text(); }
};

TEST_F(MainWindowTest, StartWithTheDefaultImageShowsTheDriveAndTheLogo) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  ASSERT_NE(Window(), nullptr);
  EXPECT_TRUE(Window()->isVisible());
  EXPECT_EQ(Window()->windowTitle(), "QTR5 (XPM-3177K) Download Utility");
  EXPECT_FALSE(Window()->windowIcon().isNull());
  ExpectRow("start, default image present", {true, true, false, false, kBitmapLogo});
  EXPECT_EQ(FileBox(), "QTR5_ORNA.HEX");
  // The image is set and cannot be changed: nothing is left to select.
  EXPECT_EQ(ShownStatus(), "Ready: press Download to flash the drive");
  // The report as drawn: labels, the drive's address, model and revision.
  auto* list = ControlAs<QTreeWidget>(kIdReport);
  ASSERT_EQ(list->topLevelItemCount(), 5);
  EXPECT_EQ(list->headerItem()->text(0), "Key");
  EXPECT_EQ(list->headerItem()->text(1), "Value");
  EXPECT_EQ(list->columnWidth(0), 120);
  EXPECT_EQ(list->columnWidth(1), list->width() - 125);
  EXPECT_EQ(ShownCell(0, 0), "Adapter : Target ID");
  EXPECT_EQ(ShownCell(0, 1), "0 : 0");
  EXPECT_TRUE(ShownCell(2, 1).endsWith("3177K"));
  EXPECT_EQ(ShownCell(3, 1), "1.00");
  EXPECT_EQ(ShownCell(4, 1), "");
  // The bar shows no text until the program gives it one.
  EXPECT_EQ(ControlAs<qtr5::TextProgressBar>(kIdProgress)->text(), "");
  // The browse button carries the open folder.
  EXPECT_FALSE(ControlAs<QPushButton>(kIdBrowse)->icon().isNull());
  // Clicks on disabled controls do nothing.
  QTest::keyClicks(Control(kIdFileName), "x");
  EXPECT_EQ(FileBox(), "QTR5_ORNA.HEX");
}

TEST_F(MainWindowTest, WithoutTheDefaultImageTheBoxAsksAndTypingEnablesDownload) {
  AddDrive(0, 0);
  BoxContents box;
  WhenModal([&](QWidget* modal) {
    box = ReadBox(modal);
    ClickBoxButton(modal, "OK");
  });
  Start();
  EXPECT_EQ(box.title, "ZAZADUZ_AUTO");
  EXPECT_EQ(box.text, "QTR5_ORNA.HEX file not found.");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QStringList{"OK"});
  ExpectRow("start, default image absent", {false, true, true, true, kBitmapLogo});
  EXPECT_EQ(FileBox(), "");

  // Typing goes through the window layer: EN_CHANGE enables Download, and
  // emptying the box disables it again.
  Then([&] { QTest::keyClicks(Control(kIdFileName), "a"); });
  Then([&] {
    EXPECT_TRUE(Control(kIdDownload)->isEnabled());
    EXPECT_EQ(FileBox(), "a");
    QTest::keyClick(Control(kIdFileName), Qt::Key_Backspace);
  });
  Then([&] {
    EXPECT_FALSE(Control(kIdDownload)->isEnabled());
    // Esc does nothing; the close box ends the program.
    QTest::keyClick(Window(), Qt::Key_Escape);
  });
  Then([&] {
    EXPECT_TRUE(Window()->isVisible());
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_FALSE(qtr5::QuitWasForced());
}

TEST_F(MainWindowTest, NoDriveShowsNoDeviceAndKeepsTheBrowseButtonOff) {
  WriteDefaultImage();
  DeviceOptions disk;
  disk.kind = DeviceKind::kDisk;
  AddDrive(0, 2, disk);
  Start();
  EXPECT_EQ(ShownPicture(), kBitmapNoDevice);
  EXPECT_EQ(ShownStatus(), "Fail to Find Device");
  EXPECT_FALSE(Control(kIdBrowse)->isEnabled());
  EXPECT_TRUE(Control(kIdCancel)->isEnabled());
  EXPECT_EQ(ShownCell(0, 1), "");
  Then([&] { Click(kIdCancel); });
  EXPECT_EQ(Run(), 0);
}

TEST_F(MainWindowTest, ADownloadAnimatesThePictureThenShowsOkAndTheRebootNotice) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  backend_.frames.clear();
  BoxContents notice;
  Row duringNotice{};
  WhenModal([&](QWidget* modal) {
    notice = ReadBox(modal);
    duringNotice = Shown();
    ClickBoxButton(modal, "OK");
  });
  Then([&] { Click(kIdDownload); });
  Then([&] {
    ExpectRow("download succeeded", {false, false, false, false, kBitmapOk});
    EXPECT_EQ(ShownStatus(), "Download has been done successfully!");
    EXPECT_EQ(ShownCell(4, 1), "1.10");
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(notice.title, "Notice");
  EXPECT_EQ(notice.text, "Please Reboot system");
  EXPECT_EQ(duringNotice.picture, kBitmapOk);

  // While the download ran, the synchronous repaints put "Wait !" and the
  // logo up in turn, and the bar's own text counted up with its position.
  std::vector<int> pictures;
  int lastValue = -1;
  int lastShownPercent = -1;
  bool textsCountUp = true;
  for (const RecordingBackend::Frame& frame : backend_.frames) {
    if (pictures.empty() || pictures.back() != frame.picture) pictures.push_back(frame.picture);
    EXPECT_GE(frame.progressValue, lastValue);
    lastValue = frame.progressValue;
    int percent = -1;
    char tail = 0;
    if (std::sscanf(frame.progressText.c_str(), "%d%c", &percent, &tail) == 2 && tail == '%') {
      if (percent < lastShownPercent) textsCountUp = false;
      lastShownPercent = percent;
    }
  }
  EXPECT_TRUE(textsCountUp);
  ASSERT_FALSE(backend_.frames.empty());
  // The last thing the bar showed is its own position.
  EXPECT_EQ(backend_.frames.back().progressText, std::to_string(lastValue) + "%");
  ASSERT_GE(pictures.size(), 4u);
  EXPECT_EQ(pictures[0], kBitmapLogo);
  for (std::size_t i = 1; i + 1 < pictures.size(); ++i)
    EXPECT_EQ(pictures[i], i % 2 == 1 ? kBitmapWait : kBitmapLogo) << i;
  EXPECT_EQ(pictures.back(), kBitmapOk);
  EXPECT_GE(lastValue, 90);
}

// The close box while the drive is being reprogrammed: answered there and
// then with a note (also when it comes through the window system, as the
// title bar's close button sends it), and never carried out afterwards; a
// click meanwhile (on the picture: the release notes) is dropped. The window, moved meanwhile, gets
// the reboot notice over where it now is.
TEST_F(MainWindowTest, ACloseWhileDownloadingIsAnsweredAtOnceAndDropped) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  BoxContents note;
  int notes = 0;
  bool closed = false;
  bool posted = false;
  backend_.afterRepaint = [&](const RecordingBackend::Frame& frame) {
    if (frame.picture != kBitmapWait || closed) return;
    if (!posted) {
      // Queued as the window manager's close request and a key press come:
      // the download's waits take them in, the click is dropped.
      posted = true;
      QCoreApplication::postEvent(Window()->windowHandle(), new QCloseEvent);
      QWidget* picture = Control(kIdPicture);
      const QPointF inside(picture->rect().center());
      for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            picture, new QMouseEvent(type, inside, picture->mapToGlobal(inside), Qt::LeftButton,
                                     Qt::LeftButton, Qt::NoModifier));
      return;
    }
    closed = true;
    if (backend_.BusyNote() != nullptr) ++notes;
    Window()->close();
    if (backend_.BusyNote() != nullptr) ++notes;
    note = ReadBox(backend_.BusyNote());
    Window()->move(Window()->pos() + QPoint(60, 40));
  };
  QRect mainAtNotice;
  QRect noticeFrame;
  bool noteLeft = false;
  WhenModal([&](QWidget* modal) {
    mainAtNotice = Window()->frameGeometry();
    noticeFrame = modal->frameGeometry();
    noteLeft = backend_.BusyNote() == nullptr;
    ClickBoxButton(modal, "OK");
  });
  Then([&] { Click(kIdDownload); });
  Then([&] {
    EXPECT_NE(Window(), nullptr) << "the close request was carried out after all";
    EXPECT_EQ(DialogWindow(kDialogReleaseNote), nullptr);
    EXPECT_EQ(ShownPicture(), kBitmapOk);
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(notes, 2);
  EXPECT_EQ(note.text, QString::fromLatin1(kBusyCloseText));
  EXPECT_TRUE(noteLeft);
  EXPECT_TRUE(mainAtNotice.contains(noticeFrame.center()));
}

// The close box while the start-up still waits for a drive that is
// becoming ready: refused with the note, and the scan goes on to take it.
TEST_F(MainWindowTest, ACloseDuringTheStartUpScanIsRefusedAndTheScanCompletes) {
  WriteDefaultImage();
  DeviceOptions becoming;
  becoming.faults.push_back(Fault{FaultKind::kBecomingReady});
  AddDrive(0, 0, becoming);
  QString note;
  QString status;
  bool controlsOn = true;
  run_.request.waitPump = [&] {
    if (!note.isEmpty() || Window() == nullptr) return;
    status = ShownStatus();
    controlsOn = Control(kIdDownload)->isEnabled() || Control(kIdCancel)->isEnabled();
    Window()->close();
    note = ReadBox(backend_.BusyNote()).text;
  };
  Start();
  // The search is said, with the controls off, and the note is about it.
  EXPECT_EQ(status, "Searching for the drive...");
  EXPECT_FALSE(controlsOn);
  EXPECT_EQ(note, QString::fromLatin1(kPreparingCloseText));
  EXPECT_EQ(backend_.BusyNote(), nullptr) << "the note goes once the drive is prepared";
  EXPECT_TRUE(app_->device.HasTarget());
}

TEST_F(MainWindowTest, AFailedDownloadShowsNgAndLetsTheUserChooseAgain) {
  WriteDefaultImage();
  DeviceOptions refusing;
  refusing.faults.push_back(Fault{FaultKind::kRefuseImage, FaultScope::kDownload});
  AddDrive(0, 0, refusing);
  Start();
  Then([&] { Click(kIdDownload); });
  Then([&] {
    ExpectRow("download failed", {false, true, true, false, kBitmapNg});
    EXPECT_EQ(ShownStatus(), "Download has been failed!");
    Click(kIdCancel);
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(modalAnswered_, 0);  // no reboot notice
}

TEST_F(MainWindowTest, ASecondDownloadOnlyWarnsAndCloses) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  std::vector<BoxContents> boxes;
  auto answer = [&](QWidget* modal) {
    boxes.push_back(ReadBox(modal));
    ClickBoxButton(modal, "OK");
  };
  WhenModal(answer);
  WhenModal(answer);
  Then([&] { Click(kIdDownload); });
  // The buttons are off now; a Download command that still arrives (as a
  // keyboard or scripted one would) only warns.
  Then([&] {
    EXPECT_TRUE(PostMessageA(Main(), WM_COMMAND, MAKEWPARAM(kIdDownload, BN_CLICKED), 0));
    backend_.InputPosted();
  });
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].title, "Warning");
  EXPECT_EQ(boxes[1].text, "Please Reboot system");
  EXPECT_EQ(Window(), nullptr);
}

}  // namespace
