#include "frontends/windows/report_layout.h"

#include <commctrl.h>

#include <algorithm>

#include "resources/resource_ids.h"

namespace {

// The room kept between the state picture and the list, in dialog units.
constexpr int kGapUnits = 1;

// What `column` needs for its widest text, by the list's own measure (its
// margins and font, at the screen's DPI); for the key column its header's
// text counts too.
int ColumnNeeds(HWND list, int column) {
  SendMessageA(list, LVM_SETCOLUMNWIDTH, column,
               column == 0 ? LVSCW_AUTOSIZE_USEHEADER : LVSCW_AUTOSIZE);
  return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
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
  // The rest of the list, and never more: a wider column brings a scroll
  // bar. The list's own measure keeps a margin right of the text, which the
  // list's edge may take.
  SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, std::max(1, room - key));
}
