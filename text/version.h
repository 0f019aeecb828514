// The program's name and version, shown by --version and in the main window.
#pragma once

inline constexpr const char* kProgramTitle = "QTR5 (XPM-3177K) Download Utility";
inline constexpr const char* kProgramVersion = "1.04";
