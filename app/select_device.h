// The Select Device dialog (template 106): lists the accepted drives and
// returns the chosen row. It cannot be cancelled: OK, Enter or closing
// without a selection choose row 0; Esc does nothing.
#pragma once

#include "winui/winapi.h"

class ReportList;

// The Select Device dialog's list while that dialog is open; null otherwise.
extern ReportList* g_selectList;

INT_PTR CALLBACK SelectDeviceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
