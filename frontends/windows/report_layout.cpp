#include "frontends/windows/report_layout.h"

#include <commctrl.h>

#include <algorithm>

#include "resources/resource_ids.h"

namespace {

constexpr int kTextSize = 260;
// The room kept between the state picture and the list, in dialog units.
constexpr int kGapUnits = 4;

int TextWidth(HWND list, const char* text) {
  return static_cast<int>(
      SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
}

// The widest text of `column`, its header's included, with the list's margins.
int ColumnNeeds(HWND list, int column) {
  char text[kTextSize] = {};
  LVCOLUMNA header{};
  header.mask = LVCF_TEXT;
  header.pszText = text;
  header.cchTextMax = kTextSize;
  int widest = 0;
  if (SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&header)) != 0)
    widest = TextWidth(list, text);
  const auto rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kTextSize;
    text[0] = '\0';
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    widest = std::max(widest, TextWidth(list, text));
  }
  // The margins a report item keeps on either side: two wide letters.
  return widest + TextWidth(list, "MM");
}

// Moves the list's left edge `more` pixels to the left, not past the state
// picture; returns how far it moved.
int GrowToTheLeft(HWND main, HWND list, int more) {
  RECT listRect{};
  RECT pictureRect{};
  GetWindowRect(list, &listRect);
  GetWindowRect(GetDlgItem(main, kIdPicture), &pictureRect);
  RECT gap{0, 0, kGapUnits, 0};
  MapDialogRect(main, &gap);
  MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&listRect), 2);
  MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&pictureRect), 2);
  const int room = std::max(0L, listRect.left - (pictureRect.right + gap.right));
  const int moved = std::min(room, more);
  if (moved > 0) {
    SetWindowPos(list, nullptr, listRect.left - moved, listRect.top,
                 listRect.right - listRect.left + moved, listRect.bottom - listRect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return moved;
}

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
  char name[32] = {};
  HWND report = GetDlgItem(window, kIdReport);
  if (report == nullptr || GetClassNameA(report, name, sizeof name) == 0 ||
      lstrcmpiA(name, WC_LISTVIEWA) != 0)
    return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

void FitReportColumns() {
  HWND main = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindMainWindow, reinterpret_cast<LPARAM>(&main));
  if (main != nullptr) FitReportColumns(main);
}

void FitReportColumns(HWND main) {
  HWND list = GetDlgItem(main, kIdReport);
  if (list == nullptr) return;
  const int key = ColumnNeeds(list, 0);
  const int value = ColumnNeeds(list, 1);
  RECT client{};
  GetClientRect(list, &client);
  int room = client.right - client.left;
  if (key + value > room) room += GrowToTheLeft(main, list, key + value - room);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, key);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, std::max(value, room - key));
}
