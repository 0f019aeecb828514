// What a screen reader meets in one run of the window: the windows' roles,
// the focus after the Open dialog, and each state told once (a name set to
// the name it has is not news).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFileDialog>
#include <QTest>
#include <map>

#include "resources/resource_ids.h"
#include "tests/qt/qt_harness.h"

void SetAccessibilityEventsOn(bool on);  // accessibility_events.cpp

namespace {

std::map<QString, int> g_told;  // name changes, by the name told

class AccessibilityTest : public QtAppTest {
 protected:
  AccessibilityTest() {
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
      if (event->type() == QAccessible::NameChanged)
        ++g_told[event->accessibleInterface()->text(QAccessible::Name)];
    });
    SetAccessibilityEventsOn(true);
  }
  ~AccessibilityTest() override {
    SetAccessibilityEventsOn(false);
    QAccessible::installUpdateHandler(nullptr);
  }
  static QString Said(QWidget* widget, bool role) {
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(widget);
    if (shown == nullptr) return "none";
    return role ? QString::number(shown->role()) : shown->text(QAccessible::Name);
  }
  // Opens the Open dialog, chooses fw.hex or cancels, then notes the focus.
  void Browse(bool choose, QString& focus) {
    WhenModal([choose](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (choose) dialog->selectFile("fw.hex");
      QMetaObject::invokeMethod(dialog, choose ? "accept" : "reject");
    });
    Then([this] { QTest::mouseClick(Control(kIdBrowse), Qt::LeftButton); });
    Then([this, &focus] { focus = Said(Window()->focusWidget(), false); });
  }
};

TEST_F(AccessibilityTest, WindowsHaveTheirRolesTheFocusLandsAndEachStateIsToldOnce) {
  AddDrive(0, 0);
  AddDrive(1, 3);
  WriteFile("fw.hex", FirmwareLikeHexFile());
  QString selectRole, afterCancel, afterChoice;
  Then([&] {
    selectRole = Said(DialogWindow(kDialogSelectDevice), true);
    QTest::mouseClick(DialogControl(kDialogSelectDevice, kIdSelectOk), Qt::LeftButton);
  });
  WhenModal([](QWidget* box) { ClickBoxButton(box, "OK"); });  // no default image
  Start();
  Browse(false, afterCancel);
  Browse(true, afterChoice);
  Then([&] {
    g_told.clear();
    QTest::mouseClick(Control(kIdDownload), Qt::LeftButton);
  });
  WhenModal([](QWidget* notice) { ClickBoxButton(notice, "OK"); });
  Then([&] { CloseMain(); });
  const QString mainRole = Said(Window(), true);
  EXPECT_EQ(Run(), 0);
  const struct {
    const char* what;
    QString expected, seen;
  } checks[] = {
      {"main window's role", QString::number(QAccessible::Window), mainRole},
      {"Select Device's role", QString::number(QAccessible::Dialog), selectRole},
      {"focus after a cancelled Open", "Browse", afterCancel},
      {"focus after a file was chosen", "Download", afterChoice},
      {"\"Downloading...\" told", "1", QString::number(g_told["Downloading..."])},
      {"\"Wait!\" told", "1", QString::number(g_told["Wait!"])},
      {"\"OK!\" told", "1", QString::number(g_told["OK!"])},
  };
  for (const auto& check : checks) EXPECT_EQ(check.seen, check.expected) << check.what;
}

}  // namespace
