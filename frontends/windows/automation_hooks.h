// The Windows side of running the program by itself (--yes): a timer that
// calls the idle handler while the main window waits for its user, a window
// hook that answers message boxes, and the echo of what the window shows.
// All of it lives on the one user-interface thread.
#pragma once

#include <windows.h>

#include <functional>

class WindowWatcher;

// Installs the hooks for the calling thread; they stay until Stop().
// `echo` receives, as lines in the words of the console program, each
// message box as "Caption: Text", and what AutomationEcho is told the main
// window shows: each new status line text, each new report value as
// "Label:" (padded so the values line up) and the value, each 10% step of
// the progress bar as "Progress: N%".
void StartAutomationHooks(std::function<void(const char* line)> echo);
void StopAutomationHooks();

// The watcher of the main window that echoes what it shows; null while the
// hooks are off.
WindowWatcher* AutomationEcho();

// Runs `handler` every `periodMs` while the main window exists, is enabled
// (no modal dialog or message box is open) and the thread has no input
// waiting. When it returns false the timer stops and the main window is
// closed. An empty handler stops the timer.
void SetIdleTimer(std::function<bool()> handler, UINT periodMs = 50);

// True when `window` is a message box: a dialog with the message text
// control that the system gives every message box.
bool IsMessageBoxWindow(HWND window);
