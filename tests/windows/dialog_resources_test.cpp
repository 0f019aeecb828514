// The resources compiled into the program, checked through the real dialog
// manager and resource loader against the one table they come from.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resources/program_resources.h"
#include "text/version.h"

namespace {

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

std::string TextOf(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char text[64] = {};
  GetClassNameA(window, text, sizeof text);
  return text;
}

class DialogResourceTest : public ::testing::TestWithParam<qtr5::DialogTemplate> {
 protected:
  static void SetUpTestSuite() { InitCommonControls(); }
};

TEST_P(DialogResourceTest, DialogMatchesItsTemplate) {
  const qtr5::DialogTemplate& dialog = GetParam();
  HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialog.id), nullptr,
                                   IgnoreAll, 0);
  ASSERT_NE(window, nullptr) << "template " << dialog.id << " error " << GetLastError();
  EXPECT_EQ(TextOf(window), dialog.title);
  const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  EXPECT_EQ(style & dialog.style, dialog.style) << std::hex << style;
  EXPECT_EQ(style & WS_VISIBLE, 0u) << "the program shows its windows itself";

  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  ASSERT_EQ(children.size(), dialog.controls.size());
  for (std::size_t i = 0; i < children.size(); ++i) {
    const qtr5::ControlTemplate& control = dialog.controls[i];
    HWND child = children[i];
    SCOPED_TRACE("template " + std::to_string(dialog.id) + " control " + std::to_string(i) +
                 " id " + std::to_string(control.id));
    EXPECT_EQ(GetDlgCtrlID(child) & 0xFFFF, control.id & 0xFFFF);
    EXPECT_EQ(lstrcmpiA(ClassOf(child).c_str(), qtr5::ControlClassName(control.kind)), 0)
        << ClassOf(child);
    EXPECT_EQ(TextOf(child), control.text);
    // The dialog manager moves the default-button style to whichever button
    // is the default, and edit and list controls draw a border as a client
    // edge; every other bit is the template's.
    const DWORD childStyle = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE));
    const DWORD typeMask = control.kind == qtr5::ControlKind::kButton ? 0x0Fu : 0u;
    const DWORD compared = control.style & ~typeMask & ~static_cast<DWORD>(WS_BORDER);
    EXPECT_EQ(childStyle & compared, compared) << std::hex << childStyle;
    if ((control.style & WS_BORDER) != 0) {
      EXPECT_TRUE((childStyle & WS_BORDER) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0);
    }
    EXPECT_EQ(exStyle & control.exStyle, control.exStyle);
    // Position and size are each converted from dialog units on their own.
    RECT expected{control.x, control.y, control.cx, control.cy};
    MapDialogRect(window, &expected);
    RECT actual{};
    GetWindowRect(child, &actual);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.right);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
  }
  DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(Templates, DialogResourceTest,
                         ::testing::ValuesIn(qtr5::AllDialogTemplates().begin(),
                                             qtr5::AllDialogTemplates().end()),
                         [](const ::testing::TestParamInfo<qtr5::DialogTemplate>& info) {
                           return "Template" + std::to_string(info.param.id);
                         });

// The picture each bitmap id must show, by the file it is drawn from.
struct Picture {
  int id;
  const char* file;
};

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  unsigned char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  return bytes;
}

TEST(BitmapResources, EachIdHoldsItsPicture) {
  const Picture pictures[] = {{101, "logo.bmp"},        {103, "wait.bmp"},
                              {104, "ok.bmp"},          {105, "ng.bmp"},
                              {106, "no_device.bmp"},   {107, "unconfirmed.bmp"},
                              {109, "open_folder.bmp"}, {110, "incomplete.bmp"}};
  ASSERT_EQ(std::size(pictures), qtr5::AllBitmapIds().size());
  HDC screen = GetDC(nullptr);
  for (const Picture& picture : pictures) {
    SCOPED_TRACE(picture.file);
    HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(picture.id));
    ASSERT_NE(bitmap, nullptr);
    const std::vector<unsigned char> file =
        ReadFile(std::string(QTR5_PICTURE_DIR) + "/" + picture.file);
    ASSERT_GT(file.size(), 54u);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(file.data() + 14);
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, header->biWidth);
    EXPECT_EQ(info.bmHeight, header->biHeight);
    // The pixels, as 24-bit bottom-up rows like the file's.
    BITMAPINFO request{};
    request.bmiHeader = *header;
    request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    request.bmiHeader.biCompression = BI_RGB;
    request.bmiHeader.biBitCount = 24;
    const std::size_t rowBytes = (static_cast<std::size_t>(header->biWidth) * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(rowBytes * static_cast<std::size_t>(header->biHeight));
    ASSERT_EQ(
        GetDIBits(screen, bitmap, 0, header->biHeight, pixels.data(), &request, DIB_RGB_COLORS),
        header->biHeight);
    const std::size_t offset = *reinterpret_cast<const DWORD*>(file.data() + 10);
    ASSERT_EQ(file.size(), offset + pixels.size());
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), file.begin() + offset));
    DeleteObject(bitmap);
  }
  ReleaseDC(nullptr, screen);
}

TEST(IconResource, TheWindowIconLoadsAtBothSizes) {
  for (int id : qtr5::AllIconIds()) {
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)), nullptr);
    EXPECT_NE(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0),
              nullptr);
  }
}

TEST(VersionResource, SaysTheProgramAndItsVersion) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010004u);  // 1.04
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010004u);
  const char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\FileVersion",
                             reinterpret_cast<void**>(const_cast<char**>(&text)), &length));
  EXPECT_STREQ(text, kProgramVersion);
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\ProductName",
                             reinterpret_cast<void**>(const_cast<char**>(&text)), &length));
  EXPECT_STREQ(text, kProgramTitle);
}

}  // namespace
