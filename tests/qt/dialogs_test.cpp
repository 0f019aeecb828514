// The program's small dialogs in the Qt window: Select Device, Release Note
// and the open-file dialog; each comes up, disables its owner, and answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "resources/resource_ids.h"
#include "tests/qt/qt_harness.h"
#include "winui/qt/qt_controls.h"

namespace {

class DialogsTest : public QtAppTest {
 protected:
  // An owned dialog opens at its template position, (0, 0), in the main
  // window's client area: its frame's corner at the client area's corner.
  void ExpectOverItsOwner(QWidget* dialog) const {
    QWidget* owner = Window();
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(owner->isVisible());
    EXPECT_EQ(dialog->frameGeometry().topLeft(), owner->mapToGlobal(QPoint(0, 0)));
    EXPECT_TRUE(owner->geometry().contains(dialog->frameGeometry()));
  }
};

TEST_F(DialogsTest, SelectDeviceListsTheDrivesAndTheChosenRowIsUsed) {
  WriteDefaultImage();
  DeviceOptions older;
  older.revision = "0.90";
  AddDrive(0, 0, older);
  AddDrive(1, 3);
  QStringList models, versions, headers;
  bool ownerDisabled = false;
  Then([&] {
    QWidget* window = DialogWindow(kDialogSelectDevice);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Select Device");
    ExpectOverItsOwner(window);
    ownerDisabled = !backend_.ClientOf(Main())->isEnabled();
    auto* list = dynamic_cast<QTreeWidget*>(DialogControl(kDialogSelectDevice, kIdDeviceList));
    ASSERT_NE(list, nullptr);
    headers << list->headerItem()->text(0) << list->headerItem()->text(1);
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
      models << list->topLevelItem(row)->text(0);
      versions << list->topLevelItem(row)->text(1);
    }
    EXPECT_TRUE(list->selectedItems().isEmpty());
    // The user clicks the second drive, then OK.
    EXPECT_TRUE(ClickSelectDeviceRow(1));
  });
  Then([&] { QTest::mouseClick(DialogControl(kDialogSelectDevice, kIdSelectOk), Qt::LeftButton); });
  Start();
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(headers, (QStringList{"Model", "Version"}));
  ASSERT_EQ(models.size(), 2);
  EXPECT_EQ(versions, (QStringList{"0.90", "1.00"}));
  EXPECT_EQ(DialogWindow(kDialogSelectDevice), nullptr);
  EXPECT_TRUE(backend_.ClientOf(Main())->isEnabled());
  EXPECT_EQ(ShownCell(0, 1), "1 : 3");
  EXPECT_EQ(ShownCell(3, 1), "1.00");
}

// Esc and the close box choose no drive; Retry asks again.
TEST_F(DialogsTest, SelectDeviceEscAndItsCloseBoxChooseNoDriveAndRetryAsksAgain) {
  WriteDefaultImage();
  AddDrive(0, 1);
  AddDrive(0, 5);
  Then([&] { QTest::keyClick(DialogWindow(kDialogSelectDevice), Qt::Key_Escape); });
  Start();
  EXPECT_EQ(ShownCell(0, 1), "");
  EXPECT_EQ(ShownStatus(), "No drive chosen: press Retry to choose");
  auto retry = [&] { QTest::mouseClick(Control(kIdDownload), Qt::LeftButton); };
  Then(retry);
  Then([&] { DialogWindow(kDialogSelectDevice)->close(); });
  Then([&] {
    EXPECT_EQ(ShownCell(0, 1), "");
    retry();
  });
  Then([&] { QTest::mouseClick(DialogControl(kDialogSelectDevice, kIdSelectOk), Qt::LeftButton); });
  Then([&] {
    EXPECT_EQ(ShownCell(0, 1), "0 : 1");
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
}

TEST_F(DialogsTest, ThePictureOpensTheReleaseNoteWhichDisablesTheMainWindowUntilOk) {
  WriteDefaultImage();
  AddDrive(0, 0);
  Start();
  QString header, body;
  bool ownerDisabled = false;
  Then([&] { QTest::mouseClick(Control(kIdPicture), Qt::LeftButton); });
  Then([&] {
    QWidget* window = DialogWindow(kDialogReleaseNote);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Release Note...");
    EXPECT_EQ(window->parentWidget(), Window());
    ExpectOverItsOwner(window);
    ownerDisabled = !backend_.ClientOf(Main())->isEnabled();
    QList<qtr5::StaticText*> texts = window->findChildren<qtr5::StaticText*>();
    ASSERT_EQ(texts.size(), 2);
    header = texts[0]->ShownText();
    body = texts[1]->ShownText();
    // Clicks on the disabled main window go nowhere.
    QTest::mouseClick(Control(kIdCancel), Qt::LeftButton);
    QTest::mouseClick(DialogControl(kDialogReleaseNote, kIdReleaseNoteOk), Qt::LeftButton);
  });
  Then([&] {
    EXPECT_EQ(DialogWindow(kDialogReleaseNote), nullptr);
    EXPECT_TRUE(backend_.ClientOf(Main())->isEnabled());
    EXPECT_TRUE(Window()->isVisible());
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(header.contains("Date\t\tVer.\tDescription"));
  EXPECT_TRUE(body.contains("04/06/02\t1.03\tPorting for XPM-3177K"));
}

TEST_F(DialogsTest, OpenFileListsHexFilesOfEitherCaseAndPutsTheChoiceInTheBox) {
  AddDrive(0, 0);
  WriteFile("UPPER.HEX", ":00000001FF\n");
  WriteFile("lower.hex", ":00000001FF\n");
  WriteFile("notes.txt", "not an image\n");
  WhenModal([](QWidget* modal) { ClickBoxButton(modal, "OK"); });  // no default image
  Start();

  QStringList filters, listed;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QString dir = QString::fromStdString(std::filesystem::current_path().string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(model->index(dir)) >= 2; }, 3000));
    const QModelIndex parent = model->index(dir);
    for (int row = 0; row < model->rowCount(parent); ++row)
      listed << model->fileName(model->index(row, 0, parent));
    dialog->selectFile("lower.hex");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  Then([&] { QTest::mouseClick(Control(kIdBrowse), Qt::LeftButton); });
  QString chosen;
  Then([&] {
    EXPECT_TRUE(Control(kIdDownload)->isEnabled());
    chosen = ControlAs<QLineEdit>(kIdFileName)->text();
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(filters, QStringList{"Firmware file (*.HEX)"});
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"UPPER.HEX", "lower.hex"}));
  EXPECT_TRUE(chosen.endsWith("/lower.hex")) << chosen.toStdString();
}

TEST_F(DialogsTest, CancellingTheOpenFileDialogChangesNothing) {
  AddDrive(0, 0);
  WhenModal([](QWidget* modal) { ClickBoxButton(modal, "OK"); });
  Start();
  WhenModal([](QWidget* modal) { qobject_cast<QFileDialog*>(modal)->reject(); });
  Then([&] { QTest::mouseClick(Control(kIdBrowse), Qt::LeftButton); });
  Then([&] {
    EXPECT_EQ(ControlAs<QLineEdit>(kIdFileName)->text(), "");
    EXPECT_FALSE(Control(kIdDownload)->isEnabled());
    CloseMain();
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(modalAnswered_, 2);
}

}  // namespace
