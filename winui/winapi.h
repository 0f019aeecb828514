// The Windows user interface API as the application code sees it: the real
// headers on Windows, the project's stand-in everywhere else.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first (its own block, so that sorting includes keeps it there):
// the other two build on its types.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#else
#include "winui/win32.h"
#endif
