// One run of the application as a value: what the front end asks of it
// (RunRequest), what it did and showed (RunRecord) and what its sweep saw
// (ScanRecord). AppMain receives the run and the application passes it on,
// so that a command line can choose the drive and the image up front,
// forbid questions, and end with the outcome the run decided. The desktop
// programs leave the request at its defaults, which give the plain
// interactive behaviour.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "discovery/scan_record.h"
#include "image/firmware_image.h"
#include "winui/winapi.h"

class DownloadApp;
class WindowWatcher;

struct RunRequest {
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

  // Image file put into the file name box at start instead of the default
  // image, which is then not looked for (nor reported missing); the browse
  // button and the box stay disabled as with a present default image, until
  // a failed download enables browsing. Empty: none (the default is probed).
  std::string initialImage;

  // The image a caller read before the download (for its check before the
  // tray, or for the question that named its checksum), and the file it
  // read it from; empty: none. When the file name box names that file, the
  // Download command sends these very bytes without reading the file again;
  // with `readPreparedAgain` (the user confirmed what the question showed)
  // it reads the file again and sends it only when it builds exactly these
  // bytes: a file emptied or replaced after the question is refused, never
  // flashed in place of the one shown.
  std::string preparedImageFile;
  std::optional<FirmwareImage> preparedImage;
  bool readPreparedAgain = false;

  // Asks for the drive instead of the Select Device dialog (a terminal asks
  // its own question, with each drive's address), when the device table
  // holds the drives to choose from: returns the row chosen, or -1 when the
  // user gave no answer (the run then ends without a drive: nothing is sent).
  // Empty: the dialog is shown.
  std::function<int()> askForDevice;

  // The image the run may flash, when the caller pinned it: the SHA-256 of
  // its file (64 lower-case hex digits; empty: not checked) and its 16-bit
  // checksum. Another image is refused before the download command.
  std::string expectedSha256;
  bool hasExpectedChecksum = false;
  std::uint16_t expectedChecksum = 0;

  // After a download that ended in "NG!", show why in a message box
  // (RunRecord::failureReason and what to do next). Off by default: a
  // terminal prints the reason itself; a desktop window worked by a person
  // turns it on, since it has no other place for it.
  bool explainFailures = false;
  // For those boxes: what the transport knows of why no drive was found
  // (that administrator rights are needed), said first; and the diagnostics
  // nobody has seen yet (a program whose standard error leads nowhere keeps
  // them), said last and then counted as seen. Each may be null or empty.
  std::function<std::string()> noDriveCause;
  std::function<std::string()> takeUnseenNotes;

  // Called once a drive is chosen, before anything but the scan's INQUIRY
  // reaches it (its tray is opened next): returns the status text of a run
  // that cannot download (no image, a damaged or unexpected image, no
  // download allowed), which then ends with the tray closed and nothing
  // sent; an empty text lets the run go on. Empty: nothing is checked.
  std::function<std::string()> refusalBeforeTray;

  // Whoever follows what the main window shows (a terminal's transcript,
  // the Windows program's echo): told by the application as it shows it.
  std::vector<WindowWatcher*> watchers;

  // Called by AppMain once start-up has finished (g_app is set) and before
  // the message loop starts; e.g. to post the Download command. May be null.
  void (*afterStartUp)(DownloadApp& app) = nullptr;
};

struct RunRecord {
  // How the run ended, decided where it happened: the start-up, the scan,
  // the refusal before the tray, the question, the download. A run that
  // chose its drive and then ended without a download is kNotDownloaded.
  Outcome outcome = Outcome::kNotDownloaded;
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
  // The scan chose no drive because the one it would take stayed not ready:
  // what to say ("a drive of the model at 0:0 is not ready yet; try
  // again"); empty otherwise. scanRefusal then holds the same text.
  std::string notReady;
  // askForDevice got no answer: the user left the choice (end of input).
  bool deviceChoiceCanceled = false;
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
  // refusalBeforeTray refused the run: the tray was not opened.
  bool refusedBeforeTray = false;
  // A signal ended the progress display, a settle delay or the verification
  // early (its number; 0 when none did): the drive was not asked afterwards.
  int interruptedBy = 0;
  // Why the last Download command failed, as one sentence: the image's
  // problem, the drive's sense data decoded, or the time limit that ran out.
  // Empty after a success or when nothing is known beyond the status line.
  std::string failureReason;
  // The SHA-256 of the image file last read, when expectedSha256 asked for it.
  std::string imageSha256;
  // The image read was not the one expectedSha256 or expectedChecksum pin.
  bool imageNotExpected = false;
  // A warning about the image last read (it sets only a few bytes), as one
  // sentence without its full stop; empty when there is none.
  std::string imageWarning;
  // What the user should do about it; empty when there is nothing to add.
  std::string failureAdvice;
  // The same advice in the window's own terms where those differ (its user
  // has no command line to type); empty: failureAdvice.
  std::string windowAdvice;
  // The drive may still be writing the image (it took the download command
  // and fell silent, or did not finish it in time): it must not be switched
  // off, and failureAdvice says so.
  bool driveMayBeBusy = false;

  // What the main window shows, recorded where the application shows it, so
  // that front ends and the run's summary need not read its controls back:
  // the status line, the file name box and the report's values, each as its
  // first 259 bytes (what a 260-byte text buffer holds). They stay as they
  // were when the main window went (mainWindowClosed).
  std::string statusLine;
  std::string imageFile;
  std::string checksum;     // "Check Sum"
  std::string model;        // "Model Name"
  std::string revision;     // "Current F/W Version"
  std::string newRevision;  // "New F/W Version"
  // The model (vendor and product) the drive reported after a confirmed
  // download when it differs from the one the scan accepted: the new
  // firmware changed the drive's identity. Empty otherwise.
  std::string newModel;
  // The main window was made and has gone, whatever closed it (the user,
  // the end of the flow, a signal).
  bool mainWindowClosed = false;
};

struct RunContext {
  RunRequest request;
  RunRecord record;
  ScanRecord scan;  // every address the start-up sweep asked
};

// Puts the per-run globals of the application (the device table count, the
// busy-picture counter and the download-done flag) back as at program
// start; AppMain does so before each run.
void ResetApplicationState();

// The diagnostics nobody has seen yet (takeUnseenNotes), as the end of a
// box's text: a blank line and a heading before them; empty when none.
std::string UnseenNotesForBox(const RunRequest& request);

// Records that the main window now shows `text` in `slot` (a report row or a
// control, as DownloadApp::ShowText takes it); nothing once it has gone.
void RecordShownText(RunRecord& record, int slot, const char* text);
