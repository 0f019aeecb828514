// How a run of the program ended, in the words of its exit status table, and
// each outcome's exit status as its value. The run decides its outcome where
// it happens (the scan, the refusal before the tray, the question, the
// download) and records it (RunRecord::outcome); the program ends with its
// number. The table of names and meanings is program/exit_status.cpp.
#pragma once

enum class Outcome : int {
  kSuccess = 0,          // the download (or the list, or the check) succeeded
  kFailed = 1,           // the image or the download failed, no image, or the output failed
  kUsageError = 2,       // bad option, option value or combination
  kNoDrive = 3,          // no drive of the model accepted (also: no host adapter)
  kInternalFailure = 4,  // the main window could not be created
  kRefusedToGuess = 5,   // several drives, no --device and no question allowed
  kNotDownloaded = 6,    // declined, not confirmed, or closed before a download
  kReplayDiverged = 7,   // --replay: the run sent a command the recording does not hold
  kInterrupted = 8,      // a signal to stop (Ctrl-C, SIGTERM, ...) ended the run
  kUnconfirmed = 9,      // the drive took the image (or may have) but it was not confirmed
  kNotReady = 10,        // no drive chosen: a drive of the model (or a device) stayed not ready
  kIncomplete = 11,    // the download command failed while writing: the firmware may be incomplete
  kNotAnswering = 12,  // no drive chosen: one the system names as the model does not answer
  kNoAccess = 13,      // no drive chosen: the system refused a device that may be the drive
};
