#include "frontends/windows/automation_hooks.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/download_app.h"
#include "resources/resource_ids.h"
#include "text/transcript.h"

namespace {

// The id of the text control in every message box the system makes.
constexpr int kMessageBoxTextId = 0xFFFF;

struct HookState {
  HHOOK cbt = nullptr;
  HHOOK sent = nullptr;
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

// A control `id` of the main window: the dialog that holds the state picture.
bool IsMainWindowControl(HWND window, int id, const char* className) {
  if (GetDlgCtrlID(window) != id || !HasClass(window, className)) return false;
  HWND parent = GetParent(window);
  return parent != nullptr && GetDlgItem(parent, kIdPicture) != nullptr;
}

void Echo(const std::optional<std::string>& line) {
  if (line && g_hooks.echo) g_hooks.echo(line->c_str());
}

std::string RowLabel(HWND list, int row) {
  char text[260] = {};
  LVITEMA item{};
  item.iSubItem = 0;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

// A value of the report is about to change.
void ReportValueChanging(HWND list, int row, const char* value) {
  if (row < 0 || value == nullptr) return;
  const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  std::vector<std::string> labels;
  for (int i = 0; i < rows; ++i) labels.push_back(RowLabel(list, i));
  Echo(g_hooks.transcript.ReportLine(labels, static_cast<std::size_t>(row), value));
}

// The progress bar is about to move.
void ProgressChanging(HWND bar, int position) {
  PBRANGE range{};
  SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  Echo(g_hooks.transcript.ProgressLine(qtr5::ProgressPercent(range.iLow, range.iHigh, position)));
}

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

// Sees every message sent to a window of the thread before the window
// handles it: the changes of the status line, the report and the progress
// bar of the main window.
LRESULT CALLBACK SentMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && g_hooks.echo) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    switch (sent->message) {
      case WM_SETTEXT:
        if (sent->lParam != 0 && IsMainWindowControl(sent->hwnd, kIdStatus, "Static")) {
          Echo(g_hooks.transcript.StatusLine(reinterpret_cast<const char*>(sent->lParam)));
        }
        break;
      case LVM_SETITEMA:
      case LVM_SETITEMTEXTA:
        if (sent->lParam != 0 && IsMainWindowControl(sent->hwnd, kIdReport, WC_LISTVIEWA)) {
          const auto* item = reinterpret_cast<const LVITEMA*>(sent->lParam);
          const bool textSet = sent->message == LVM_SETITEMTEXTA || (item->mask & LVIF_TEXT) != 0;
          const int row =
              sent->message == LVM_SETITEMTEXTA ? static_cast<int>(sent->wParam) : item->iItem;
          if (textSet && item->iSubItem == 1 && item->pszText != LPSTR_TEXTCALLBACKA) {
            ReportValueChanging(sent->hwnd, row, item->pszText);
          }
        }
        break;
      case PBM_SETPOS:
        if (IsMainWindowControl(sent->hwnd, kIdProgress, PROGRESS_CLASSA)) {
          ProgressChanging(sent->hwnd, static_cast<int>(sent->wParam));
        }
        break;
      default:
        break;
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
