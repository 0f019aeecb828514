// The numbers of the programs' exit status table. The table itself (which
// outcome ends with which number, its name and its meaning) is
// program/exit_status.cpp; the code below the program layer that must give
// a status takes the number from here, so that each is written once.
#pragma once

namespace exit_status {

inline constexpr int kSuccess = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kNoDrive = 3;
inline constexpr int kInternalFailure = 4;
inline constexpr int kRefusedToGuess = 5;
inline constexpr int kNotDownloaded = 6;
inline constexpr int kReplayDiverged = 7;
inline constexpr int kInterrupted = 8;
inline constexpr int kUnconfirmed = 9;
inline constexpr int kNotReady = 10;

}  // namespace exit_status
