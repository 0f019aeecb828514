#include "frontends/windows/session_end.h"

#include <windows.h>

#include "app/download_app.h"
#include "system/system_time.h"

namespace {

using ReasonCreateCall = BOOL(WINAPI*)(HWND, LPCWSTR);
using ReasonDestroyCall = BOOL(WINAPI*)(HWND);

// The main window while it refuses the end of the session, and its own
// window procedure, put back afterwards.
struct Guard {
  HWND window = nullptr;
  WNDPROC previous = nullptr;
  bool reasonGiven = false;
};
Guard g_guard;

// Windows XP has neither call: they are looked up, never imported.
template <typename Call>
Call User32Call(const char* name) {
  const HMODULE user32 = GetModuleHandleA("user32.dll");
  return user32 == nullptr
             ? nullptr
             : reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

LRESULT CALLBACK RefusingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) return FALSE;
  return CallWindowProcA(g_guard.previous, window, message, wParam, lParam);
}

void Refuse(HWND window) {
  g_guard.window = window;
  g_guard.previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefusingWindowProc)));
  if (const auto create = User32Call<ReasonCreateCall>("ShutdownBlockReasonCreate"))
    g_guard.reasonGiven = create(window, kSessionEndReason) != FALSE;
}

void Allow() {
  if (g_guard.window == nullptr) return;
  if (IsWindow(g_guard.window)) {
    if (g_guard.reasonGiven) {
      if (const auto destroy = User32Call<ReasonDestroyCall>("ShutdownBlockReasonDestroy"))
        destroy(g_guard.window);
    }
    SetWindowLongPtrA(g_guard.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_guard.previous));
  }
  g_guard = Guard{};
}

// On the thread of the flow, which is the main window's.
void KeepAwakeChanged(bool keep) {
  HWND main = g_app != nullptr ? g_app->mainWindow : nullptr;
  if (!keep) {
    Allow();
  } else if (g_guard.window == nullptr && main != nullptr && IsWindow(main)) {
    Refuse(main);
  }
}

}  // namespace

void StartSessionEndGuard() {
  qtr5::SetKeepAwakeObserver(KeepAwakeChanged);
}

void StopSessionEndGuard() {
  qtr5::SetKeepAwakeObserver(nullptr);
  Allow();
}
