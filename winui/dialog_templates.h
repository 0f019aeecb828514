// The dialog templates of the program (main window 102, Release Note 105,
// Select Device 106) as data: the one source from which every platform builds
// its windows. The portable window layer creates dialogs and controls from it,
// the Qt window renders it, and the Windows build generates its resource
// script from it. Rectangles are in dialog units; styles are the Windows
// style bits (WS_*, DS_*, BS_*, SS_*, ES_*, LVS_*, PBS_*) with the values the
// Windows headers give them.
//
// The window layer declares them and reads them; the program's resources
// (resources/dialog_templates.cpp) define them, as a Windows program's
// resource section belongs to the program and not to the window system. A
// program or test that creates dialogs links qtr5_resources after qtr5_winui.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qtr5 {

// The control classes the templates use.
enum class ControlKind {
  kButton,       // "button": push buttons, with or without a picture
  kStatic,       // "static": text
  kEdit,         // "edit": single-line edit box
  kListView,     // "SysListView32": report-style list view
  kProgressBar,  // "msctls_progress32": progress bar
};

// The Windows class name of `kind`, as a resource script names it
// ("button", "static", "edit", "SysListView32", "msctls_progress32").
const char* ControlClassName(ControlKind kind);

// One control of a dialog template.
struct ControlTemplate {
  int id;                 // control identifier; -1 for a static without one
  ControlKind kind;       // class of the control
  const char* text;       // initial text; "" for none; may hold '\t' and '\n'
  int x, y, cx, cy;       // rectangle in dialog units, relative to the client area
  std::uint32_t style;    // includes WS_CHILD and WS_VISIBLE, WS_DISABLED when disabled
  std::uint32_t exStyle;  // WS_EX_* bits, 0 for none
};

// One dialog template. `style` is the window style of the dialog (DS_* and
// WS_* bits; DS_SETFONT is set since every template names a font).
struct DialogTemplate {
  int id;                 // resource identifier: 102, 105 or 106
  const char* title;      // caption text
  const char* fontName;   // "MS Sans Serif"
  int fontPointSize;      // 8
  int x, y, cx, cy;       // position and client size in dialog units
  std::uint32_t style;    // DS_* | WS_* bits; never WS_VISIBLE (the program shows it)
  std::uint32_t exStyle;  // WS_EX_* bits, 0 for none
  std::span<const ControlTemplate> controls;  // in tab order, as the resource script lists them
};

// Every dialog template of the program, in identifier order.
std::span<const DialogTemplate> AllDialogTemplates();

// The template with resource identifier `id`, or nullptr when there is none.
const DialogTemplate* FindDialogTemplate(int id);

// The control of `dialog` with identifier `controlId`, or nullptr when there is
// none (controls without an identifier, -1, are never found this way).
const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int controlId);

// The resource identifiers of the program's bitmaps (101 logo, 103 "Wait !",
// 104 "OK!", 105 "NG!", 106 "No Device", 109 open folder), in identifier order.
std::span<const int> AllBitmapIds();

// The resource identifiers of the program's icons (108), in identifier order.
std::span<const int> AllIconIds();

}  // namespace qtr5
