// What one run did and showed, as the session and its front ends record it
// where it happens: the scan, the tray, the image, the download and its
// outcome, and what the main window (or the terminal) showed last.
#pragma once

#include <cstdint>
#include <string>

#include "session/outcome.h"

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
  // The scan chose no drive because the one it would take, which the
  // system names as a drive of the model, does not answer INQUIRY: what to
  // say ("a drive of the model at 0:0 does not answer (...)"); empty
  // otherwise. scanRefusal then holds the same text.
  std::string notAnswering;
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
  // The download command failed while writing (or after its data may have
  // begun to reach the drive): the drive's firmware may be incomplete, and
  // it must be flashed again before the machine is switched off.
  bool downloadIncomplete = false;
  // The check after the download: its INQUIRY attempts, and how long after
  // the download command it ended when the drive, still busy after the
  // usual attempts, was asked again until it answered or the window ended
  // (0 when it was not waited for).
  int checkInquiries = 0;
  std::uint32_t driveWaitedForMs = 0;
  // The tray command sent after the drive was chosen: whether it failed and
  // why (LastCommandFailure's words: decoded sense, time limit). The flow
  // goes on without an open tray.
  bool trayFailed = false;
  std::string trayFailure;
  // The run was a dry run (SessionRequest::dryRun); wouldDownload: it got
  // as far as the download command, which a real run would have sent.
  bool dryRun = false;
  bool wouldDownload = false;
  // The run was refused before the tray was opened (no image, a damaged or
  // unexpected one, no download allowed).
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
