#include "frontends/windows/browse_button.h"

#include <windows.h>

#include "resources/resource_ids.h"

namespace {

// The folder's background in the program's picture.
constexpr COLORREF kPictureBackground = RGB(0xF0, 0xF0, 0xF0);

struct Look {
  HHOOK hook = nullptr;
  HBITMAP on = nullptr;   // the folder on the button's face colour
  HBITMAP off = nullptr;  // the folder on white, for the embossing
};
Look g_look;

// The program's folder picture with its background in `background`.
HBITMAP FolderOn(COLORREF background) {
  HBITMAP picture = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kBitmapBrowse));
  BITMAP size{};
  HDC dc = CreateCompatibleDC(nullptr);
  if (picture == nullptr || dc == nullptr || GetObjectA(picture, sizeof size, &size) == 0) {
    if (dc != nullptr) DeleteDC(dc);
    return picture;
  }
  HGDIOBJ before = SelectObject(dc, picture);
  for (int y = 0; y < size.bmHeight; ++y) {
    for (int x = 0; x < size.bmWidth; ++x) {
      if (GetPixel(dc, x, y) == kPictureBackground) SetPixel(dc, x, y, background);
    }
  }
  SelectObject(dc, before);
  DeleteDC(dc);
  return picture;
}

bool IsBrowseButton(HWND window) {
  char name[16] = {};
  return GetDlgCtrlID(window) == kIdBrowse && GetClassNameA(window, name, sizeof name) != 0 &&
         lstrcmpiA(name, "Button") == 0;
}

// The folder that fits the button's state, unless it shows it already (the
// picture set here comes back through the hook).
void ShowFolder(HWND button) {
  HBITMAP wanted = IsWindowEnabled(button) ? g_look.on : g_look.off;
  const auto shown = reinterpret_cast<HBITMAP>(SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0));
  if (wanted == nullptr || shown == wanted) return;
  const LONG style = GetWindowLongA(button, GWL_STYLE);
  if ((style & BS_BITMAP) == 0) SetWindowLongA(button, GWL_STYLE, style | BS_BITMAP);
  if (GetWindowTextLengthA(button) == 0) SetWindowTextA(button, kBrowseButtonName);
  SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(wanted));
  InvalidateRect(button, nullptr, TRUE);
}

// After the button was turned on or off, or given a picture.
LRESULT CALLBACK AnsweredMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* answered = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && (answered->message == WM_ENABLE || answered->message == BM_SETIMAGE) &&
      IsBrowseButton(answered->hwnd))
    ShowFolder(answered->hwnd);
  return CallNextHookEx(g_look.hook, code, wParam, lParam);
}

}  // namespace

void StartBrowseButtonLook() {
  if (g_look.hook != nullptr) return;
  g_look.on = FolderOn(GetSysColor(COLOR_BTNFACE));
  g_look.off = FolderOn(RGB(0xFF, 0xFF, 0xFF));
  g_look.hook =
      SetWindowsHookExA(WH_CALLWNDPROCRET, AnsweredMessageHook, nullptr, GetCurrentThreadId());
}

void StopBrowseButtonLook() {
  if (g_look.hook != nullptr) UnhookWindowsHookEx(g_look.hook);
  // The window that showed them is gone by now.
  if (g_look.on != nullptr) DeleteObject(g_look.on);
  if (g_look.off != nullptr) DeleteObject(g_look.off);
  g_look = Look{};
}
