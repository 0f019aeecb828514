// What a screen reader meets through one run of the window: the roles of
// the windows, where the focus is after the Open dialog, and each state
// announced once (a name set to the name it has is not news).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFileDialog>
#include <QTest>
#include <map>

#include "resources/resource_ids.h"
#include "tests/qt/qt_harness.h"

// accessibility_events.cpp
void SetAccessibilityEventsOn(bool on);

namespace {

// Every accessible name change, by the name it announced.
std::map<QString, int> g_announced;

void CountNameChanges(QAccessibleEvent* event) {
  if (event->type() != QAccessible::NameChanged) return;
  if (QAccessibleInterface* shown = event->accessibleInterface())
    ++g_announced[shown->text(QAccessible::Name)];
}

class AccessibilityTest : public QtAppTest {
 protected:
  AccessibilityTest() {
    QAccessible::installUpdateHandler(CountNameChanges);
    SetAccessibilityEventsOn(true);
  }
  ~AccessibilityTest() override {
    SetAccessibilityEventsOn(false);
    QAccessible::installUpdateHandler(nullptr);
  }

  static int RoleOf(QWidget* widget) {
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(widget);
    return shown == nullptr ? -1 : shown->role();
  }
  // The name a screen reader gives the control that has the focus.
  QString Focused() const {
    QWidget* focus = Window()->focusWidget();
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(focus);
    return shown == nullptr ? QStringLiteral("none") : shown->text(QAccessible::Name);
  }
  void Browse(bool choose) {
    WhenModal([choose](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      if (!choose) return dialog->reject();
      dialog->selectFile("fw.hex");
      QMetaObject::invokeMethod(dialog, "accept");
    });
    Then([this] { QTest::mouseClick(Control(kIdBrowse), Qt::LeftButton); });
  }
};

TEST_F(AccessibilityTest, WindowsHaveTheirRolesTheFocusLandsAndEachStateIsToldOnce) {
  AddDrive(0, 0);
  AddDrive(1, 3);
  WriteFile("fw.hex", FirmwareLikeHexFile());
  int selectRole = -1;
  Then([&] {
    selectRole = RoleOf(DialogWindow(kDialogSelectDevice));
    QTest::mouseClick(DialogControl(kDialogSelectDevice, kIdSelectOk), Qt::LeftButton);
  });
  WhenModal([](QWidget* box) { ClickBoxButton(box, "OK"); });  // no default image
  Start();
  QString afterCancel, afterChoice;
  Browse(false);
  Then([&] { afterCancel = Focused(); });
  Browse(true);
  Then([&] {
    afterChoice = Focused();
    g_announced.clear();
    QTest::mouseClick(Control(kIdDownload), Qt::LeftButton);
  });
  WhenModal([](QWidget* notice) { ClickBoxButton(notice, "OK"); });
  Then([&] { CloseMain(); });
  const int mainRole = RoleOf(Window());
  EXPECT_EQ(Run(), 0);

  const struct {
    const char* what;
    QString expected;
    QString seen;
  } checks[] = {
      {"main window's role", QString::number(QAccessible::Window), QString::number(mainRole)},
      {"Select Device's role", QString::number(QAccessible::Dialog), QString::number(selectRole)},
      {"focus after a cancelled Open", "Browse", afterCancel},
      {"focus after a file was chosen", "Download", afterChoice},
      {"\"Downloading...\" told", "1", QString::number(g_announced["Downloading..."])},
      {"\"Wait!\" told", "1", QString::number(g_announced["Wait!"])},
      {"\"OK!\" told", "1", QString::number(g_announced["OK!"])},
  };
  for (const auto& check : checks) EXPECT_EQ(check.seen, check.expected) << check.what;
}

}  // namespace
