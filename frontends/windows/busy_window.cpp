#include "frontends/windows/busy_window.h"

#include <windows.h>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "system/interruption.h"
#include "text/version.h"

namespace {

// The note runs in a thread of its own, so that the drive's waits go on
// while it is open (a message box in this thread would hold them up).
HANDLE g_noteThread = nullptr;
DWORD g_noteThreadId = 0;

bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST && message != WM_SYSKEYDOWN &&
          message != WM_SYSKEYUP && message != WM_SYSCHAR) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

}  // namespace

// Answers the messages waiting in the queue. What the user types or clicks
// inside the main window waits for the end of the work with the drive; the
// title bar, Alt+F4, painting and the window system's news are answered now.
void PumpBusyWindow() {
  HWND main = g_app != nullptr ? g_app->mainWindow : nullptr;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the main message loop, which ends on it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (message.message == WM_TIMER && message.hwnd == nullptr) continue;
    if (main != nullptr && IsUserInput(message.message) &&
        (message.hwnd == main || IsChild(main, message.hwnd)))
      continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

namespace {

DWORD WINAPI ShowNote(LPVOID) {
  MessageBoxA(nullptr, BusyCloseText(), kProgramTitle,
              MB_OK | MB_ICONINFORMATION | MB_TOPMOST | MB_SETFOREGROUND);
  return 0;
}

bool NoteOpen() {
  return g_noteThread != nullptr && WaitForSingleObject(g_noteThread, 0) == WAIT_TIMEOUT;
}

BOOL CALLBACK RaiseWindow(HWND window, LPARAM) {
  SetForegroundWindow(window);
  return TRUE;
}

BOOL CALLBACK DismissWindow(HWND window, LPARAM) {
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

void WithdrawNote() {
  if (g_noteThread == nullptr) return;
  // Dismissed as its button would be; asked again until the thread ends, in
  // case the box was not there yet.
  while (WaitForSingleObject(g_noteThread, 20) == WAIT_TIMEOUT)
    EnumThreadWindows(g_noteThreadId, DismissWindow, 0);
  CloseHandle(g_noteThread);
  g_noteThread = nullptr;
}

void RefuseClose(HWND) {
  if (NoteOpen()) {
    EnumThreadWindows(g_noteThreadId, RaiseWindow, 0);
    return;
  }
  WithdrawNote();
  g_noteThread = CreateThread(nullptr, 0, ShowNote, nullptr, 0, &g_noteThreadId);
}

}  // namespace

void StartBusyWindow() {
  SetBusyCloseNote({RefuseClose, WithdrawNote});
}

void StopBusyWindow() {
  WithdrawNote();
  SetBusyCloseNote({});
}
