#include "discovery/select_device.h"

#include <new>

#include "app/report_list.h"
#include "app/resource_ids.h"
#include "discovery/device_table.h"

namespace {

constexpr int kModelColumnWidth = 220;
constexpr int kVersionColumnMargin = 225;

void EndWithSelection(HWND window) {
  int row = g_selectList != nullptr ? g_selectList->GetSelectedRow() : -1;
  if (row < 0) row = 0;
  EndDialog(window, row);
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
        // ends at once with the first drive, as OK without a selection would.
        EndDialog(window, 0);
        return TRUE;
      }
      g_selectList->AddColumn("Model", -1);
      g_selectList->AddColumn("Version", -1);
      for (int row = 0; row < g_deviceCount; ++row) {
        g_selectList->SetItem(row, 0, DeviceTable[row].model);
        g_selectList->SetItem(row, 1, DeviceTable[row].revision);
      }
      RECT rectangle{};
      GetWindowRect(list, &rectangle);
      g_selectList->SetColumnWidth(0, kModelColumnWidth);
      g_selectList->SetColumnWidth(1, (rectangle.right - rectangle.left) - kVersionColumnMargin);
      return TRUE;
    }
    case WM_CLOSE:
      EndWithSelection(window);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdSelectOk) {
        EndWithSelection(window);
        return TRUE;
      }
      return FALSE;  // IDCANCEL (Esc) included: the dialog stays open
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
