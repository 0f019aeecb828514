// The answer to a request to close the main window while the program works
// with the drive, the same on every desktop program.
#pragma once

namespace qtr5 {

inline constexpr const char* kBusyCloseText =
    "The program is working with the drive and cannot be closed now. Wait until it has "
    "finished: a drive that is reprogramming itself must not be interrupted.";

}  // namespace qtr5
