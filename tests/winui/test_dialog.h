// A dialog procedure for tests: records every message it gets and lets each
// test decide what it does with them.
#pragma once

#include <functional>
#include <vector>

#include "winui/backend.h"

namespace qtr5::test {

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// What the test procedure does: return non-zero for handled messages.
inline std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_handler;
inline std::vector<Received> g_received;

inline INT_PTR CALLBACK TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_received.push_back({window, message, wParam, lParam});
  return g_handler ? g_handler(window, message, wParam, lParam) : FALSE;
}

// WM_COMMAND messages received, as (control id, notification code).
inline std::vector<std::pair<int, int>> Commands() {
  std::vector<std::pair<int, int>> commands;
  for (const Received& r : g_received) {
    if (r.message == WM_COMMAND) commands.emplace_back(LOWORD(r.wParam), HIWORD(r.wParam));
  }
  return commands;
}

inline int CountOf(UINT message) {
  int count = 0;
  for (const Received& r : g_received) count += r.message == message;
  return count;
}

inline void ResetProc() {
  g_handler = nullptr;
  g_received.clear();
}

}  // namespace qtr5::test
