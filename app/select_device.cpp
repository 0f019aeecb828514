#include "app/select_device.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "app/report_list.h"
#include "discovery/device_table.h"
#include "resources/resource_ids.h"

ReportList* g_selectList = nullptr;

namespace {

constexpr int kModelColumnWidth = 220;
constexpr int kVersionColumnMargin = 225;
// Two drives of the same model and revision differ only in where they sit:
// a third column gives each row's address, in the form of the main report's
// "Adapter : Target ID" row. To keep it in view without scrolling, the model
// column gives up the room its text leaves free, and the version column the
// room beyond its short text; a list too narrow for that keeps the first two
// columns as they were and the address beyond them.
constexpr int kVersionColumnWidth = 50;
constexpr int kAddressColumnWidth = 105;
constexpr int kListBorders = 4;
constexpr int kModelColumnMinimum = 150;

// OK takes the selected row (the first when none is selected); Cancel, Esc
// and the close box end it with -1: no drive is chosen.
void EndWithSelection(HWND window, bool chosen) {
  int row = g_selectList != nullptr ? g_selectList->GetSelectedRow() : -1;
  if (row < 0) row = 0;
  EndDialog(window, chosen ? row : -1);
  delete g_selectList;
  g_selectList = nullptr;
}

}  // namespace

INT_PTR CALLBACK SelectDeviceProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(window, kIdDeviceList);
      g_selectList = new (std::nothrow) ReportList(window, list);
      if (g_selectList == nullptr) {
        // Without its list the dialog can show nothing to choose from: it
        // ends at once, and no drive is chosen.
        EndDialog(window, -1);
        return TRUE;
      }
      g_selectList->AddColumn("Model", -1);
      g_selectList->AddColumn("Version", -1);
      g_selectList->AddColumn("Adapter : Target", -1);
      for (int row = 0; row < g_deviceCount; ++row) {
        char address[16];
        std::snprintf(address, sizeof address, "%d : %d", DeviceTable[row].adapterId,
                      DeviceTable[row].targetId);
        g_selectList->SetItem(row, 0, DeviceTable[row].model);
        g_selectList->SetItem(row, 1, DeviceTable[row].revision);
        g_selectList->SetItem(row, 2, address);
      }
      RECT rectangle{};
      GetWindowRect(list, &rectangle);
      const int listWidth = rectangle.right - rectangle.left;
      const int modelWidth = std::min(
          kModelColumnWidth, listWidth - kListBorders - kVersionColumnWidth - kAddressColumnWidth);
      if (modelWidth >= kModelColumnMinimum) {
        g_selectList->SetColumnWidth(0, modelWidth);
        g_selectList->SetColumnWidth(1, kVersionColumnWidth);
        g_selectList->SetColumnWidth(2, kAddressColumnWidth);
      } else {
        g_selectList->SetColumnWidth(0, kModelColumnWidth);
        g_selectList->SetColumnWidth(1, listWidth - kVersionColumnMargin);
        g_selectList->SetColumnWidth(2, kAddressColumnWidth);
      }
      return TRUE;
    }
    case WM_CLOSE:
      EndWithSelection(window, false);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdSelectOk || LOWORD(wParam) == kIdSelectCancel) {
        EndWithSelection(window, LOWORD(wParam) == kIdSelectOk);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      // Ended some other way (the program quitting while it was open): its
      // list goes with it all the same.
      delete g_selectList;
      g_selectList = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}
