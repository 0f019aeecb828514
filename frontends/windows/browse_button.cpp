#include "frontends/windows/browse_button.h"

#include <windows.h>

#include "resources/resource_ids.h"

namespace {

HHOOK g_hook = nullptr;

bool IsBrowseButton(HWND window) {
  char name[16] = {};
  return GetDlgCtrlID(window) == kIdBrowse && GetClassNameA(window, name, sizeof name) != 0 &&
         lstrcmpiA(name, "Button") == 0;
}

// Before the button hears that it is turned on or off: a picture when on,
// the text "..." when off (the picture stays set for the next time).
LRESULT CALLBACK SentMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == WM_ENABLE && IsBrowseButton(sent->hwnd)) {
    const LONG style = GetWindowLongA(sent->hwnd, GWL_STYLE);
    const LONG wanted = sent->wParam != FALSE ? (style | BS_BITMAP) : (style & ~BS_BITMAP);
    if (wanted != style) {
      char text[8] = {};
      if (GetWindowTextA(sent->hwnd, text, sizeof text) == 0) SetWindowTextA(sent->hwnd, "...");
      SetWindowLongA(sent->hwnd, GWL_STYLE, wanted);
      InvalidateRect(sent->hwnd, nullptr, TRUE);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

void StartBrowseButtonLook() {
  if (g_hook == nullptr)
    g_hook = SetWindowsHookExA(WH_CALLWNDPROC, SentMessageHook, nullptr, GetCurrentThreadId());
}

void StopBrowseButtonLook() {
  if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
}
