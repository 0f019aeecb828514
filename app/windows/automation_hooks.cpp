#include "app/windows/automation_hooks.h"

#include <cstring>
#include <string>
#include <utility>

#include "app/download_app.h"
#include "app/resource_ids.h"

namespace {

// The id of the text control in every message box the system makes.
constexpr int kMessageBoxTextId = 0xFFFF;

struct HookState {
  HHOOK cbt = nullptr;
  HHOOK sent = nullptr;
  std::function<void(const char*)> echo;
  HWND lastAnswered = nullptr;
  std::string lastStatus;
};
HookState g_hooks;

struct IdleState {
  UINT_PTR timer = 0;
  std::function<bool()> handler;
  bool running = false;
};
IdleState g_idle;

std::string WindowText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool HasClass(HWND window, const char* name) {
  char text[64] = {};
  GetClassNameA(window, text, sizeof text);
  return lstrcmpiA(text, name) == 0;
}

// The status line: control 1001 of the dialog that holds the state picture.
bool IsStatusLine(HWND window) {
  if (GetDlgCtrlID(window) != kIdStatus || !HasClass(window, "Static")) return false;
  HWND parent = GetParent(window);
  return parent != nullptr && GetDlgItem(parent, kIdPicture) != nullptr;
}

void AnswerMessageBox(HWND box) {
  if (box == g_hooks.lastAnswered) return;
  g_hooks.lastAnswered = box;
  if (g_hooks.echo) {
    const std::string line =
        WindowText(box) + ": " + WindowText(GetDlgItem(box, kMessageBoxTextId));
    g_hooks.echo(line.c_str());
  }
  // The Enter key, posted: the box is still being activated, and once its
  // loop runs the key presses whichever button the box made its default.
  PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (IsMessageBoxWindow(window)) AnswerMessageBox(window);
  }
  return CallNextHookEx(g_hooks.cbt, code, wParam, lParam);
}

LRESULT CALLBACK SentMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && g_hooks.echo) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (sent->message == WM_SETTEXT && sent->lParam != 0 && IsStatusLine(sent->hwnd)) {
      const std::string text = reinterpret_cast<const char*>(sent->lParam);
      if (!text.empty() && text != g_hooks.lastStatus) g_hooks.echo(text.c_str());
      g_hooks.lastStatus = text;
    }
  }
  return CallNextHookEx(g_hooks.sent, code, wParam, lParam);
}

void CALLBACK IdleTick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_idle.running || !g_idle.handler || g_app == nullptr) return;
  HWND main = g_app->mainWindow;
  if (main == nullptr || !IsWindow(main)) return;
  // A modal dialog or message box disables its owner: the user is being
  // asked something, so the main window is not waiting yet.
  if (!IsWindowEnabled(main)) return;
  // Only when nothing else waits: the previous action has been handled.
  if (HIWORD(GetQueueStatus(QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE)) != 0) return;
  g_idle.running = true;
  const bool more = g_idle.handler();
  g_idle.running = false;
  if (!more) {
    SetIdleTimer(nullptr);
    PostMessageA(main, WM_CLOSE, 0, 0);
  }
}

}  // namespace

bool IsMessageBoxWindow(HWND window) {
  if (window == nullptr || !HasClass(window, "#32770")) return false;
  if (g_app != nullptr && window == g_app->mainWindow) return false;
  return GetDlgItem(window, kMessageBoxTextId) != nullptr;
}

void StartAutomationHooks(std::function<void(const char* line)> echo) {
  StopAutomationHooks();
  g_hooks.echo = std::move(echo);
  const DWORD thread = GetCurrentThreadId();
  g_hooks.cbt = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, thread);
  g_hooks.sent = SetWindowsHookExA(WH_CALLWNDPROC, SentMessageHook, nullptr, thread);
}

void StopAutomationHooks() {
  if (g_hooks.cbt != nullptr) UnhookWindowsHookEx(g_hooks.cbt);
  if (g_hooks.sent != nullptr) UnhookWindowsHookEx(g_hooks.sent);
  g_hooks = HookState{};
}

void SetIdleTimer(std::function<bool()> handler, UINT periodMs) {
  if (g_idle.timer != 0) {
    KillTimer(nullptr, g_idle.timer);
    g_idle.timer = 0;
  }
  g_idle.handler = std::move(handler);
  if (g_idle.handler) g_idle.timer = SetTimer(nullptr, 0, periodMs, IdleTick);
}
