// The window functions that read or change a window's general state
// (enabled, shown, placed, text).
#include <algorithm>
#include <cstring>

#include "winui/window_table.h"

using qtr5::detail::Find;
using qtr5::detail::Window;

BOOL IsWindow(HWND window) {
  return Find(window) != nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* found = Find(dialog);
  if (found == nullptr || !found->isDialog) return nullptr;
  for (HWND child : found->children) {
    Window* control = Find(child);
    if (control && control->id == id) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND control) {
  Window* found = Find(control);
  return found && !found->isDialog ? found->id : 0;
}

HWND GetParent(HWND window) {
  Window* found = Find(window);
  if (found == nullptr) return nullptr;
  return found->isDialog ? found->owner : found->parent;
}

BOOL IsChild(HWND parent, HWND window) {
  Window* found = Find(window);
  return found && !found->isDialog && parent != nullptr && found->parent == parent;
}

BOOL IsWindowVisible(HWND window) {
  Window* found = Find(window);
  if (found == nullptr || !found->visible) return FALSE;
  if (found->isDialog) return TRUE;
  Window* dialog = Find(found->parent);
  return dialog && dialog->visible;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* found = Find(window);
  if (found == nullptr) return FALSE;
  bool wasDisabled = !found->enabled;
  bool want = enable != FALSE;
  if (found->enabled != want) {
    found->enabled = want;
    qtr5::detail::Notify(window, qtr5::WindowChange::kEnabled);
    SendMessageA(window, WM_ENABLE, want ? TRUE : FALSE, 0);
  }
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  Window* found = Find(window);
  return found && found->enabled;
}

BOOL ShowWindow(HWND window, int showCommand) {
  Window* found = Find(window);
  if (found == nullptr) return FALSE;
  bool wasVisible = found->visible;
  bool want = showCommand != SW_HIDE;
  if (wasVisible != want) {
    found->visible = want;
    qtr5::detail::Notify(window, want ? qtr5::WindowChange::kShown : qtr5::WindowChange::kHidden);
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
  if (Find(window) == nullptr) return FALSE;
  qtr5::CurrentBackend().Repaint(window);
  return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  (void)rect;
  (void)erase;
  // Every change is rendered as it happens; UpdateWindow asks for the
  // synchronous repaint. A null window means the whole screen.
  return window == nullptr || Find(window) != nullptr ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  Window* found = Find(window);
  if (found == nullptr || rect == nullptr) return FALSE;
  if (found->isDialog) {
    *rect = found->rect;
    return TRUE;
  }
  Window* dialog = Find(found->parent);
  POINT origin = dialog ? qtr5::detail::ClientOrigin(*dialog) : POINT{0, 0};
  *rect = RECT{found->rect.left + origin.x, found->rect.top + origin.y,
               found->rect.right + origin.x, found->rect.bottom + origin.y};
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  Window* found = Find(window);
  if (found == nullptr || rect == nullptr) return FALSE;
  LONG width = found->rect.right - found->rect.left;
  LONG height = found->rect.bottom - found->rect.top;
  if (found->isDialog) {
    width -= 2 * qtr5::detail::kFrameWidth;
    height -= 2 * qtr5::detail::kFrameWidth + qtr5::detail::kCaptionHeight;
  }
  *rect = RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
  Window* found = Find(dialog);
  if (found == nullptr || !found->isDialog || rect == nullptr) return FALSE;
  *rect = qtr5::detail::MapRect(*rect, found->baseUnits);
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* found = Find(window);
  if (found == nullptr) return FALSE;
  RECT old = found->rect;
  RECT& rect = found->rect;
  if (!(flags & SWP_NOMOVE)) {
    LONG width = rect.right - rect.left;
    LONG height = rect.bottom - rect.top;
    rect = RECT{x, y, x + width, y + height};
  }
  if (!(flags & SWP_NOSIZE)) {
    rect.right = rect.left + std::max(cx, 0);
    rect.bottom = rect.top + std::max(cy, 0);
  }
  if (std::memcmp(&old, &rect, sizeof rect) != 0) {
    qtr5::detail::Notify(window, qtr5::WindowChange::kMoved);
  }
  if (!(flags & SWP_NOZORDER) && found->isDialog &&
      (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
    bool topmost = insertAfter == HWND_TOPMOST;
    if (found->topmost != topmost) {
      found->topmost = topmost;
      qtr5::detail::Notify(window, qtr5::WindowChange::kTopmost);
    }
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOW);
  return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (Find(window) == nullptr) return FALSE;
  return static_cast<BOOL>(
      SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  if (Find(window) == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(std::max(size, 0)),
                                       reinterpret_cast<LPARAM>(buffer)));
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(control, buffer, size));
}
