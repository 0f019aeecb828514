// Accessibility events without a screen reader, as Qt's own tests make
// them: Qt makes none while its platform's accessibility is off. A file of
// its own: Qt's platform headers and the window layer's both define
// APIENTRY.
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

void SetAccessibilityEventsOn(bool on) {
  QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(on);
}
