// The message queue of the one user-interface thread: posting, retrieving
// (asking the backend for input when the queue is empty), the dialog
// keyboard handling, dispatching, and the user's input as backends post it.
#include <deque>

#include "winui/window_table.h"

namespace qtr5::detail {
namespace {

struct Queue {
  std::deque<MSG> messages;
  bool quitPending = false;
  WPARAM quitCode = 0;
  bool quitForced = false;
};

Queue& TheQueue() {
  static Queue queue;
  return queue;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window && !IsChild(window, msg.hwnd)) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

// How often a backend may claim input without posting anything before the
// loop stops asking; a backend that does so is broken, and a hang is worse.
constexpr int kEmptyWaitLimit = 10000;

}  // namespace

void ClearQueue() {
  TheQueue() = Queue{};
}

}  // namespace qtr5::detail

namespace qtr5 {

bool QuitWasForced() {
  return detail::TheQueue().quitForced;
}

bool PostClick(HWND button) {
  detail::Window* window = detail::Find(button);
  if (window == nullptr || window->isDialog || window->kind != ControlKind::kButton) return false;
  if (!AcceptsInput(button)) return false;
  return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

bool PostTypedText(HWND edit, std::string text) {
  detail::Window* window = detail::Find(edit);
  if (window == nullptr || window->isDialog || window->kind != ControlKind::kEdit) return false;
  if (!AcceptsInput(edit)) return false;
  window->typed.push_back(std::move(text));
  return PostMessageA(edit, detail::kTypedTextMessage, 0, 0) != FALSE;
}

bool PostKey(HWND window, UINT virtualKey) {
  if (!AcceptsInput(window)) return false;
  return PostMessageA(window, WM_KEYDOWN, virtualKey, 0) != FALSE;
}

bool PostClose(HWND dialog) {
  detail::Window* window = detail::Find(dialog);
  if (window == nullptr || !window->isDialog || !AcceptsInput(dialog)) return false;
  return PostMessageA(dialog, WM_CLOSE, 0, 0) != FALSE;
}

bool SelectListRow(HWND listView, int row) {
  detail::Window* window = detail::Find(listView);
  if (window == nullptr || window->isDialog || window->kind != ControlKind::kListView) return false;
  if (row < -1 || row >= static_cast<int>(window->rows.size())) return false;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  if (row == -1)
    return SendMessageA(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(&item)) != 0;
  // As a click: this row becomes the selected and focused one, the others
  // lose both.
  SendMessageA(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(&item));
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  return SendMessageA(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                      reinterpret_cast<LPARAM>(&item)) != 0;
}

}  // namespace qtr5

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A null window posts to the thread; any other window must exist.
  if (window != nullptr && qtr5::detail::Find(window) == nullptr) return FALSE;
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  qtr5::detail::TheQueue().messages.push_back(msg);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  auto& queue = qtr5::detail::TheQueue();
  queue.quitPending = true;
  queue.quitCode = static_cast<WPARAM>(exitCode);
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  auto& queue = qtr5::detail::TheQueue();
  int emptyWaits = 0;
  for (;;) {
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
      if (qtr5::detail::Matches(*it, window, filterMin, filterMax)) {
        *msg = *it;
        queue.messages.erase(it);
        return msg->message == WM_QUIT ? FALSE : TRUE;
      }
    }
    // The quit comes once every posted message has been retrieved.
    if (queue.quitPending) {
      queue.quitPending = false;
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = queue.quitCode;
      msg->time = GetTickCount();
      return FALSE;
    }
    bool more = qtr5::CurrentBackend().WaitForInput();
    if (!queue.messages.empty() || queue.quitPending) continue;
    if (!more || ++emptyWaits >= qtr5::detail::kEmptyWaitLimit) {
      // No input will ever come: end the loops instead of waiting forever.
      queue.quitForced = true;
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = qtr5::kQuitNoInput;
      msg->time = GetTickCount();
      return FALSE;
    }
  }
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  if (msg == nullptr) return FALSE;
  auto& queue = qtr5::detail::TheQueue();
  for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
    if (qtr5::detail::Matches(*it, window, filterMin, filterMax)) {
      *msg = *it;
      if (removeMessage & PM_REMOVE) queue.messages.erase(it);
      return TRUE;
    }
  }
  if (queue.quitPending) {
    if (removeMessage & PM_REMOVE) queue.quitPending = false;
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = queue.quitCode;
    return TRUE;
  }
  return FALSE;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  using qtr5::detail::Find;
  if (msg == nullptr) return FALSE;
  qtr5::detail::Window* window = Find(dialog);
  if (window == nullptr || !window->isDialog) return FALSE;
  if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
  if (msg->message != WM_KEYDOWN) return FALSE;
  if (msg->wParam != VK_RETURN && msg->wParam != VK_ESCAPE) return FALSE;
  // A key cannot reach a disabled dialog (one that is waiting for a modal
  // dialog it owns): it is swallowed.
  if (!window->enabled) return TRUE;
  if (msg->wParam == VK_ESCAPE) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    return TRUE;
  }
  // Enter presses the default push button when it is enabled; a dialog
  // without one gets IDOK.
  for (HWND child : window->children) {
    qtr5::detail::Window* control = Find(child);
    if (control && control->kind == qtr5::ControlKind::kButton &&
        (control->style & 0x0F) == BS_DEFPUSHBUTTON) {
      if (control->enabled) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(child));
      }
      return TRUE;
    }
  }
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  (void)msg;  // no character messages are made: the program reads no typed keys
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  // Messages for windows that have gone since they were posted are dropped.
  if (qtr5::detail::Find(msg->hwnd) == nullptr) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}
