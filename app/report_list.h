// ReportList: a thin wrapper over a report-style list view control, used by
// the main window's report and by the Select Device dialog. Created with new
// by the dialog that owns the control and deleted by the same owner.
#pragma once

#include <cstdint>

#include "winui/winapi.h"

class ReportList {
 public:
  ReportList(HWND parentWindow, HWND listControl);
  ~ReportList() = default;
  ReportList(const ReportList&) = delete;
  ReportList& operator=(const ReportList&) = delete;

  // Index -1 appends a column after the last one added; any other index
  // renames that column. Either way the column gets 15 pixels per character
  // of its title.
  LRESULT AddColumn(const char* title, int index);
  LRESULT SetColumnWidth(int column, int width);
  // Column 0 inserts a new row at `row`; other columns set that sub-item.
  LRESULT SetItem(int row, int column, const char* text);
  // Lowest selected row, or -1 when none is selected.
  int GetSelectedRow();

  HWND parentWindow;
  HWND listControl;
  std::int32_t columnCount;
  std::int32_t rowCount;
};
