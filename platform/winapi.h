// The Windows user interface API as the application code sees it: the real
// headers on Windows, the project's stand-in everywhere else.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <commctrl.h>
#include <commdlg.h>
#include <windows.h>
#else
#include "platform/win32.h"
#endif
