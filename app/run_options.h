// What a front end may set before the program starts (RunOptions), and what
// the run did (RunOutcome), so that a command line can choose the drive and
// the image up front, forbid questions, and map the outcome to an exit
// status. The desktop programs leave the options at their defaults, which
// give the plain interactive behaviour.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class DownloadApp;

struct RunOptions {
  // Preferred drive (adapter:target). When set, ScanDevices chooses it
  // without asking; if it is not among the accepted drives the scan fails
  // with a status text saying so, and nothing is sent to any drive.
  bool hasPreferredDevice = false;
  std::uint8_t preferredAdapter = 0;
  std::uint8_t preferredTarget = 0;

  // Whether the Select Device dialog may be shown. When false, several
  // accepted drives and no preferred drive make the scan fail with a status
  // text; no tray is opened and nothing is sent.
  bool mayAskForDevice = true;

  // Image file put into the file name box at start, as the browse button
  // would, after the default-image probe (it takes precedence over the
  // default image). Empty: none.
  std::string initialImage;

  // Called by ScanDevices just before it shows the Select Device dialog, when
  // the device table holds the drives the dialog will list; e.g. for a
  // terminal, which shows the rows without their addresses. May be empty.
  std::function<void()> beforeDeviceQuestion;

  // Called by AppMain once start-up has finished (g_app is set) and before
  // the message loop starts; e.g. to post the Download command. May be null.
  void (*afterStartUp)(DownloadApp& app) = nullptr;
};

struct RunOutcome {
  // Start-up: the main window or its report list could not be made.
  bool startUpFailed = false;
  // Drives of the model that answered the sweep (also those past the table).
  int drivesAccepted = 0;
  // A drive was chosen, its report rows written and its tray opened.
  bool driveChosen = false;
  std::uint8_t chosenAdapter = 0;
  std::uint8_t chosenTarget = 0;
  // The status text when the scan refused to choose (preferred drive not
  // found, or several drives and no question allowed); empty otherwise.
  std::string scanRefusal;
  // The last Download command: the image could not be read (nothing sent).
  bool imageReadFailed = false;
  // The download command was sent to the drive.
  bool downloadAttempted = false;
  // The drive completed the download command. Without downloadSucceeded it
  // then never answered: it may hold the new firmware, or be reprogramming
  // still, so a front end should not suggest that nothing changed.
  bool downloadTaken = false;
  // The download command completed and the drive answered INQUIRY afterwards.
  bool downloadSucceeded = false;
  // The download command did not end within its time limit: the drive may
  // have taken the image and may be reprogramming itself.
  bool downloadTimedOut = false;
  // The tray command sent after the drive was chosen: whether it failed and
  // why (LastCommandFailure's words: decoded sense, time limit). The flow
  // goes on without an open tray.
  bool trayFailed = false;
  std::string trayFailure;
};

extern RunOptions g_runOptions;
extern RunOutcome g_runOutcome;

// Puts both records back to their defaults (and the per-run globals of the
// application: the device table count, the busy-picture counter and the
// download-done flag), as at program start.
void ResetRunState();
