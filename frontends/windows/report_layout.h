// The main window's report as the Windows program lays it out: its columns
// fixed in pixels cut the model name ("QTR5    CD-ROM XPM-3..."), and more so
// at a larger DPI, where the texts grow and the pixels do not. Here each
// column is made as wide as its widest text (header included), in the
// window's own font; the value column takes what room is left. When the
// list is too narrow for both, it grows to the left, as far as the state
// picture beside it allows.
#pragma once

#include <windows.h>

// Lays out the report of the main window `main` for the texts it shows now.
void FitReportColumns(HWND main);
// The same for the main window of the calling thread, if it has one.
void FitReportColumns();
