// The format of dialog templates (main window 102, Release Note 105, Select
// Device 106 in the program) as data: the one source from which every
// platform builds its windows. The portable window layer creates dialogs and
// controls from it, the Qt window renders it, and the Windows build
// generates its resource script from it. Rectangles are in dialog units;
// styles are the Windows style bits (WS_*, DS_*, BS_*, SS_*, ES_*, LVS_*,
// PBS_*) with the values the Windows headers give them.
//
// The window layer declares the format; a program's resources (for this
// program resources/) are written in it, as a Windows program's resource
// section belongs to the program and not to the window system. Off Windows
// the program registers its resources for its instance handle at start-up
// (RegisterModuleResources), and the window layer finds a template, bitmap
// or icon through the instance handle it is given, as Windows does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "winui/winapi.h"

namespace qtr5 {

// The control classes the templates use.
enum class ControlKind {
  kButton,       // "button": push buttons, with or without a picture
  kStatic,       // "static": text
  kEdit,         // "edit": single-line edit box
  kListView,     // "SysListView32": report-style list view
  kProgressBar,  // "msctls_progress32": progress bar
};

// The Windows class name of `kind`, as a resource script names it.
constexpr const char* ControlClassName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kButton:
      return "button";
    case ControlKind::kStatic:
      return "static";
    case ControlKind::kEdit:
      return "edit";
    case ControlKind::kListView:
      return "SysListView32";
    case ControlKind::kProgressBar:
      return "msctls_progress32";
  }
  return "static";
}

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

// What a module (a program, a library) holds as resources: its dialog
// templates, and the identifiers of its bitmaps and of its icons.
struct ModuleResources {
  std::span<const DialogTemplate> dialogs;
  std::span<const int> bitmaps;
  std::span<const int> icons;
};

// Off Windows: `resources` become those of the module `instance` (null: the
// program's own module, as GetModuleHandleA(nullptr) names it there), until
// registered again; null `resources` withdraws them. They must outlive
// their use. CreateDialogParamA, DialogBoxParamA, LoadBitmapA and LoadIconA
// find nothing in a module without resources.
void RegisterModuleResources(HINSTANCE instance, const ModuleResources* resources);

}  // namespace qtr5
