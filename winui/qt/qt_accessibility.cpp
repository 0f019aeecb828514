#include "winui/qt/qt_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "winui/qt/qt_controls.h"
#include "winui/qt/qt_dialog_window.h"

namespace qtr5 {
namespace {

// A static text: a label, read only, named by its text (StaticText keeps
// its accessible name up to date).
class StaticTextAccessible : public QAccessibleWidget {
 public:
  explicit StaticTextAccessible(QWidget* widget)
      : QAccessibleWidget(widget, QAccessible::StaticText) {}
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    return s;
  }
};

// A dialog's top-level window: an application's window (a frame to AT-SPI)
// when nothing owns it, as the main window; a dialog when a window owns it
// (Select Device, the release notes). A plain widget would be a filler,
// which a screen reader does not announce as a window.
QAccessibleInterface* Factory(const QString& /*key*/, QObject* object) {
  if (auto* text = dynamic_cast<StaticText*>(object)) return new StaticTextAccessible(text);
  if (auto* window = dynamic_cast<DialogWindow*>(object)) {
    return new QAccessibleWidget(
        window, window->parentWidget() != nullptr ? QAccessible::Dialog : QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

void SetAccessibleName(QWidget* widget, const QString& name) {
  if (widget->accessibleName() != name) widget->setAccessibleName(name);
}

QString AccessibleLine(const QString& shown) {
  QString line = shown;
  line.replace(u'\t', u' ');
  return line.simplified();
}

}  // namespace qtr5
