#include "app/report_list.h"

#include <cstring>

namespace {

constexpr int kPixelsPerTitleCharacter = 15;

}  // namespace

ReportList::ReportList(HWND parent, HWND list)
    : parentWindow(parent), listControl(list), columnCount(0), rowCount(0) {}

LRESULT ReportList::AddColumn(const char* title, int index) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = const_cast<LPSTR>(title);
  const int width = static_cast<int>(std::strlen(title)) * kPixelsPerTitleCharacter;
  if (index == -1) {
    const int position = columnCount;
    const LRESULT result =
        SendMessageA(listControl, LVM_INSERTCOLUMNA, static_cast<WPARAM>(position),
                     reinterpret_cast<LPARAM>(&column));
    SetColumnWidth(position, width);
    ++columnCount;
    return result;
  }
  const LRESULT result = SendMessageA(listControl, LVM_SETCOLUMNA, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(&column));
  SetColumnWidth(index, width);
  return result;
}

LRESULT ReportList::SetColumnWidth(int column, int width) {
  return SendMessageA(listControl, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                      MAKELPARAM(width, 0));
}

LRESULT ReportList::SetItem(int row, int column, const char* text) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<LPSTR>(text);
  if (column == 0) {
    const LRESULT result =
        SendMessageA(listControl, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    ++rowCount;
    return result;
  }
  return SendMessageA(listControl, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int ReportList::GetSelectedRow() {
  for (int row = 0; row < rowCount; ++row) {
    const LRESULT state =
        SendMessageA(listControl, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED);
    if ((state & LVIS_SELECTED) != 0) return row;
  }
  return -1;
}
