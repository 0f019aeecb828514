// How the Windows program dresses its main window beyond the described
// template: the browse button's folder in either state, and the box that
// says the default image is missing.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "frontends/windows/browse_button.h"
#include "frontends/windows/message_boxes.h"
#include "resources/resource_ids.h"
#include "session/default_image.h"
#include "text/version.h"

namespace {

HBITMAP Shown(HWND button) {
  return reinterpret_cast<HBITMAP>(SendMessageA(button, BM_GETIMAGE, IMAGE_BITMAP, 0));
}

COLORREF PixelOf(HBITMAP picture, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ before = SelectObject(dc, picture);
  const COLORREF pixel = GetPixel(dc, x, y);
  SelectObject(dc, before);
  DeleteDC(dc);
  return pixel;
}

// Off, the folder lies on white (the embossing keeps its outline); on, on
// the face colour; a picture the program sets meanwhile gives way to it.
TEST(BrowseButton, ShowsTheFolderOnAndOffAndIsNamed) {
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                nullptr, nullptr);
  StartBrowseButtonLook();
  HWND button = CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_PUSHBUTTON | BS_BITMAP, 0, 0, 24, 24,
                                parent, reinterpret_cast<HMENU>(kIdBrowse), nullptr, nullptr);
  EnableWindow(button, FALSE);
  HBITMAP off = Shown(button);
  HBITMAP program = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kBitmapBrowse));
  SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(program));
  EXPECT_EQ(Shown(button), off) << "the program's picture, blank when off, stayed";
  EnableWindow(button, TRUE);
  HBITMAP on = Shown(button);
  ASSERT_NE(off, nullptr);
  ASSERT_NE(on, nullptr);
  EXPECT_NE(on, off);
  EXPECT_EQ(PixelOf(off, 0, 0), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(PixelOf(on, 0, 0), GetSysColor(COLOR_BTNFACE));
  char name[32] = {};
  GetWindowTextA(button, name, sizeof name);
  EXPECT_STREQ(name, kBrowseButtonName);
  DestroyWindow(parent);
  StopBrowseButtonLook();
  DeleteObject(program);
}

// That box is the program's and names the folder; any other box is as asked.
TEST(MessageBoxes, TheMissingImageBoxIsTheProgramsAndNamesTheFolder) {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof folder, folder);
  std::string caption = kCaptionDefaultMissing;
  std::string text = kTextDefaultMissing;
  LayOutMessageBox(caption, text);
  EXPECT_EQ(caption, kProgramTitle);
  EXPECT_NE(text.find(std::string(" was looked for in ") + folder + " "), std::string::npos);
  std::string other = "Notice";
  LayOutMessageBox(other, text);
  EXPECT_EQ(other, "Notice");
}

}  // namespace
