#include "frontends/windows/automation_hooks.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/download_app.h"
#include "app/window_watcher.h"
#include "resources/resource_ids.h"
#include "text/transcript.h"

namespace {

// The id of the text control in every message box the system makes.
constexpr int kMessageBoxTextId = 0xFFFF;

struct HookState {
  HHOOK cbt = nullptr;
  std::function<void(const char*)> echo;
  HWND lastAnswered = nullptr;
  qtr5::Transcript transcript;  // status, report and progress lines
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

void Echo(const std::optional<std::string>& line) {
  if (line && g_hooks.echo) g_hooks.echo(line->c_str());
}

// What the main window shows, as the application tells it.
class EchoWatcher : public WindowWatcher {
 public:
  void StatusShown(std::string_view text) override { Echo(g_hooks.transcript.StatusLine(text)); }
  void ReportRowShown(int row, std::string_view value) override {
    if (row < 0) return;
    Echo(g_hooks.transcript.ReportLine(ReportLabels(), static_cast<std::size_t>(row), value));
  }
  void ProgressShown(int percent) override { Echo(g_hooks.transcript.ProgressLine(percent)); }
};
EchoWatcher g_echoWatcher;

void AnswerMessageBox(HWND box) {
  if (box == g_hooks.lastAnswered) return;
  g_hooks.lastAnswered = box;
  Echo(qtr5::MessageBoxLine(WindowText(box), WindowText(GetDlgItem(box, kMessageBoxTextId))));
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
}

void StopAutomationHooks() {
  if (g_hooks.cbt != nullptr) UnhookWindowsHookEx(g_hooks.cbt);
  g_hooks = HookState{};
}

WindowWatcher* AutomationEcho() {
  return g_hooks.cbt != nullptr ? &g_echoWatcher : nullptr;
}

void SetIdleTimer(std::function<bool()> handler, UINT periodMs) {
  if (g_idle.timer != 0) {
    KillTimer(nullptr, g_idle.timer);
    g_idle.timer = 0;
  }
  g_idle.handler = std::move(handler);
  if (g_idle.handler) g_idle.timer = SetTimer(nullptr, 0, periodMs, IdleTick);
}
