// What assistive technology (a screen reader, through AT-SPI) is told about
// the controls of the Qt window: a name and a description for each, static
// texts as labels whose name is the text they show (a change of it is
// announced as a name change, and only a change), the state picture named
// by what it shows, and each dialog's window as a window or a dialog.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "winui/dialog_templates.h"

namespace qtr5 {

struct AccessibleText {
  QString name;  // empty: the control's own text (a button's caption, a static's text)
  QString description;
};

// Given by the program: the name and description of control `control` of
// the dialog made from template `dialogId`.
using ControlTexts = std::function<AccessibleText(int dialogId, const ControlTemplate& control)>;

// Makes the window's static texts known to assistive technology as labels
// (a plain frame otherwise), and the dialogs' windows as an application
// window (unowned) or a dialog (owned). Installed once, by the backend.
void InstallAccessibleFactory();

// A static text's accessible name: the text as shown, one line.
QString AccessibleLine(const QString& shown);

// Gives `widget` the accessible name `name`; a name it has already is not
// given again, so a screen reader hears a name change only when the name
// changed.
void SetAccessibleName(QWidget* widget, const QString& name);

}  // namespace qtr5
