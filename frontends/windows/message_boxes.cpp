#include "frontends/windows/message_boxes.h"

#include <windows.h>

#include <string>

#include "session/default_image.h"
#include "text/version.h"

namespace {

using MessageBoxCall = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

std::string CurrentFolder() {
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  return length == 0 || length >= sizeof folder ? std::string() : std::string(folder, length);
}

int WINAPI LaidOutMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  static const auto user32 = reinterpret_cast<MessageBoxCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxA")));
  std::string shownCaption = caption != nullptr ? caption : "";
  std::string shownText = text != nullptr ? text : "";
  LayOutMessageBox(shownCaption, shownText);
  return user32(owner, shownText.c_str(), shownCaption.c_str(), type);
}

}  // namespace

void LayOutMessageBox(std::string& caption, std::string& text) {
  if (caption != kCaptionDefaultMissing || text != kTextDefaultMissing) return;
  caption = kProgramTitle;
  const std::string folder = CurrentFolder();
  text += std::string("\n\n") + kDefaultImageName + " was looked for in " +
          (folder.empty() ? std::string("the current folder") : folder) +
          " (the folder the program was started in). Choose the image with the browse button "
          "beside the file name box.";
}

extern "C" {
#if defined(__i386__)
extern MessageBoxCall qtr5_MessageBoxA_import __asm__("__imp__MessageBoxA@16");
#else
extern MessageBoxCall qtr5_MessageBoxA_import __asm__("__imp_MessageBoxA");
#endif
MessageBoxCall qtr5_MessageBoxA_import = LaidOutMessageBox;
}
