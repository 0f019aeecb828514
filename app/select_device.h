// The Select Device dialog (template 106): lists the accepted drives and
// returns the chosen row: OK or Enter without a selection choose row 0.
// Cancel, Esc and the close box return -1: no drive is chosen, and nothing
// is opened or sent.
#pragma once

#include "winui/winapi.h"

class ReportList;

// The Select Device dialog's list while that dialog is open; null otherwise.
extern ReportList* g_selectList;

INT_PTR CALLBACK SelectDeviceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
