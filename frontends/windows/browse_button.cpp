#include "frontends/windows/browse_button.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "resources/resource_ids.h"

namespace {

HHOOK g_hook = nullptr;
HBITMAP g_picture = nullptr;  // the button's own, set by the application
HBITMAP g_offCopy = nullptr;  // made here, released here

// A copy of `picture` with the colour of its top left pixel, the background,
// made white; nullptr when it cannot be read.
HBITMAP WhiteBackgroundCopy(HBITMAP picture) {
  BITMAP info{};
  if (GetObjectA(picture, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight == 0)
    return nullptr;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = info.bmWidth;
  format.bmiHeader.biHeight = -std::abs(info.bmHeight);  // top row first
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  const int height = std::abs(info.bmHeight);
  std::vector<DWORD> pixels(static_cast<std::size_t>(info.bmWidth) * height);
  HDC screen = GetDC(nullptr);
  HBITMAP copy = nullptr;
  if (GetDIBits(screen, picture, 0, height, pixels.data(), &format, DIB_RGB_COLORS) == height) {
    const DWORD background = pixels[0] & 0xFFFFFF;
    for (DWORD& pixel : pixels)
      if ((pixel & 0xFFFFFF) == background) pixel = 0xFFFFFF;
    copy = CreateCompatibleBitmap(screen, info.bmWidth, height);
    if (copy != nullptr &&
        SetDIBits(screen, copy, 0, height, pixels.data(), &format, DIB_RGB_COLORS) != height) {
      DeleteObject(copy);
      copy = nullptr;
    }
  }
  ReleaseDC(nullptr, screen);
  return copy;
}

bool IsBrowseButton(HWND window) {
  char name[16] = {};
  return GetDlgCtrlID(window) == kIdBrowse && GetClassNameA(window, name, sizeof name) != 0 &&
         lstrcmpiA(name, "Button") == 0 && (GetWindowLongA(window, GWL_STYLE) & BS_BITMAP) != 0;
}

// Before the button hears that it is turned on or off: the picture for it.
LRESULT CALLBACK SentMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == WM_ENABLE && IsBrowseButton(sent->hwnd)) {
    const auto shown =
        reinterpret_cast<HBITMAP>(SendMessageA(sent->hwnd, BM_GETIMAGE, IMAGE_BITMAP, 0));
    if (shown != nullptr && shown != g_offCopy && shown != g_picture) {
      // The application set a picture: its copy for the off state follows it.
      if (g_offCopy != nullptr) DeleteObject(g_offCopy);
      g_picture = shown;
      g_offCopy = WhiteBackgroundCopy(shown);
    }
    HBITMAP wanted = sent->wParam != FALSE ? g_picture : g_offCopy;
    if (wanted != nullptr && wanted != shown)
      SendMessageA(sent->hwnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(wanted));
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

void StartBrowseButtonLook() {
  if (g_hook == nullptr)
    g_hook = SetWindowsHookExA(WH_CALLWNDPROC, SentMessageHook, nullptr, GetCurrentThreadId());
}

void StopBrowseButtonLook() {
  if (g_hook != nullptr) UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
  if (g_offCopy != nullptr) DeleteObject(g_offCopy);
  g_offCopy = nullptr;
  g_picture = nullptr;
}
