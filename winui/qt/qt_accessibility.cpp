#include "winui/qt/qt_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "winui/qt/qt_controls.h"

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

QAccessibleInterface* Factory(const QString& /*key*/, QObject* object) {
  if (auto* text = dynamic_cast<StaticText*>(object)) return new StaticTextAccessible(text);
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

QString AccessibleLine(const QString& shown) {
  QString line = shown;
  line.replace(u'\t', u' ');
  return line.simplified();
}

}  // namespace qtr5
