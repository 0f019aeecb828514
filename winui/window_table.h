// Internal to the portable window layer: the table of windows and controls.
// HWND values are opaque keys into this table; a handle is never reused, so
// a stale or made-up handle is simply not found.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "winui/backend.h"
#include "winui/dialog_templates.h"
#include "winui/win32.h"

namespace qtr5::detail {

// Private messages of the window layer, handled by DispatchMessageA.
inline constexpr UINT kTypedTextMessage = WM_APP + 0x3100;  // an edit box gets typed text

struct ListColumn {
  std::string title;
  int width = 0;
  int format = 0;
};

struct ListRow {
  std::vector<std::string> cells;  // cells[0] is the item text
  UINT state = 0;
};

struct Window {
  HWND handle = nullptr;
  bool isDialog = false;
  const DialogTemplate* dialogTemplate = nullptr;    // dialogs
  const ControlTemplate* controlTemplate = nullptr;  // controls
  HWND parent = nullptr;                             // controls: their dialog
  HWND owner = nullptr;                              // dialogs: their owner
  int id = 0;
  ControlKind kind = ControlKind::kStatic;
  std::uint32_t style = 0;
  std::string text;
  bool enabled = true;
  bool visible = false;
  bool topmost = false;
  // Dialogs: outer rectangle in screen pixels. Controls: rectangle relative
  // to their dialog's client area, in pixels.
  RECT rect{};
  DialogBaseUnits baseUnits = kDefaultBaseUnits;
  DLGPROC proc = nullptr;
  bool modal = false;         // made by DialogBoxParamA
  bool modalRunning = false;  // its modal loop is running
  bool ended = false;         // EndDialog was called
  INT_PTR result = 0;
  bool destroying = false;
  HBITMAP image = nullptr;
  int imageId = 0;
  HICON smallIcon = nullptr;
  HICON bigIcon = nullptr;
  int low = 0;
  int high = 100;
  int position = 0;
  std::size_t textLimit = 30000;  // typing limit of an edit box
  std::vector<ListColumn> columns;
  std::vector<ListRow> rows;
  std::vector<HWND> children;
  std::deque<std::string> typed;  // texts posted by PostTypedText, in order
};

// The window behind `handle`, or nullptr when there is none.
Window* Find(HWND handle);
// A new window with a fresh handle, registered in the table.
Window& Add();
// Removes the window from the table (its memory is freed).
void Remove(HWND handle);
// Live dialogs, in creation order.
std::vector<HWND> Dialogs();
// Records a new dialog in the creation order.
void RegisterDialog(HWND handle);
// Clears the table.
void ClearTable();
// Dialog units to pixels with the given base units (as MapDialogRect).
RECT MapRect(const RECT& units, DialogBaseUnits base);

// Tells the backend that `window` changed.
void Notify(HWND window, WindowChange change);

// Handles a message sent to a control (not a dialog).
LRESULT ControlMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Sets a window's text and tells the backend; raises EN_CHANGE for edit boxes.
void SetText(HWND window, const std::string& text);
// Copies `text` into a caller's buffer of `size` characters as WM_GETTEXT does.
int CopyText(const std::string& text, char* buffer, long long size);

// The client area origin of a dialog in screen pixels.
POINT ClientOrigin(const Window& dialog);
// Frame sizes of a dialog window in pixels (fixed, as the classic dialog frame).
inline constexpr int kFrameWidth = 3;
inline constexpr int kCaptionHeight = 19;

// The queue.
void ClearQueue();

// Resource handles (bitmaps, icons).
void ClearResourceHandles();
// The resources registered for module `instance`, or nullptr.
const ModuleResources* ResourcesOf(HINSTANCE instance);

}  // namespace qtr5::detail
