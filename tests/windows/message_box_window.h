// Telling a message box among the windows a test watches: a dialog with the
// text control the system gives every message box, and not the main window.
#pragma once

#include <windows.h>

#include "app/download_app.h"

inline bool IsMessageBoxWindow(HWND window) {
  char name[64] = {};
  if (window == nullptr || GetClassNameA(window, name, sizeof name) == 0 ||
      lstrcmpiA(name, "#32770") != 0)
    return false;
  if (g_app != nullptr && window == g_app->mainWindow) return false;
  return GetDlgItem(window, 0xFFFF) != nullptr;
}
