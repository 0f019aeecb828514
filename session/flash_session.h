// The flash session: the flow of one run with no window vocabulary. Its
// steps are the scan and choice of the drive, its tray, the read and check of
// the image, and the download with the reprogramming window and the check
// after it. Each returns a typed result and records what happened in the
// run's record; what the user is told goes to the observer, what a person
// must decide to the questions. The described dialog calls the steps on its
// commands; the terminal and --yes run them in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "discovery/scan_record.h"
#include "image/image_verdict.h"
#include "session/run_record.h"
#include "session/session_observer.h"
#include "session/session_request.h"

class AspiDevice;
class SessionQuestions;

enum class ScanResult {
  kChosen,          // a drive was chosen; its report rows are shown
  kNoDrive,         // no drive of the model accepted (or not the preferred one)
  kNotReady,        // the drive it would take stayed not ready
  kNotAnswering,    // the drive it would take (named by the system) does not answer
  kRefusedToGuess,  // several drives, and no choice may be asked
  kNoneChosen,      // the choice was asked and not answered
};

enum class ImageResult {
  kRead,         // built into the device's buffer; its checksum is shown
  kNoName,       // no file named
  kUnreadable,   // cannot be opened, damaged, too long a name, no memory
  kNoData,       // no data record: it would erase the drive's firmware
  kChanged,      // not the bytes the user confirmed
  kNotExpected,  // not the image pinned
  kDeclined,     // its warning was not accepted
};

enum class DownloadResult {
  kConfirmed,    // the drive took the image and answered with its new firmware
  kNotSent,      // nothing was sent (no drive, the image refused, a signal first, a dry run)
  kFailed,       // the drive refused the download command
  kIncomplete,   // the download command failed while writing: the firmware may be incomplete
  kUnconfirmed,  // the drive took the image (or may have) and was not confirmed
  kInterrupted,  // a signal cut the waits short after the download command
  kBusy,         // a download of this session is running: nothing done
};

class FlashSession {
 public:
  FlashSession(AspiDevice& device, const SessionRequest& request, RunRecord& record,
               ScanRecord& scan, SessionObserver& observer, SessionQuestions& questions);
  FlashSession(const FlashSession&) = delete;
  FlashSession& operator=(const FlashSession&) = delete;

  // Asks every address, accepts the drives of the model, and chooses the one
  // to flash: the preferred one, the only one, or the one the questions
  // choose. The chosen drive is addressed and its report rows shown; with
  // none chosen the device addresses nothing. Records the outcome so far.
  ScanResult Scan();
  // Opens the chosen drive's tray. A tray that does not open does not stop
  // the flow (the drive takes its firmware with the tray closed too); the
  // record keeps why. True when it opened.
  bool OpenTray();
  // Reads the image named `path` (or, when `nameTooLong`, refuses it: its
  // first characters could name another file), judges it, and builds it in
  // the device's data buffer with its checksum shown.
  ImageResult ReadImage(const std::string& path, bool nameTooLong = false);
  // The image of `path` read as ReadImage does and sent to the chosen drive
  // in one command, the progress shown while the drive reprograms itself,
  // and the new firmware confirmed by INQUIRY. Records the outcome. A dry
  // run stops before the command, once the image is read and judged.
  DownloadResult Download(const std::string& path, bool nameTooLong = false);

  // Every step in order, for a run that nobody works at a window: the image
  // named (`image`; empty: the default image, told when missing), the scan
  // and choice, the refusal before the tray, the tray (not in a dry run),
  // the image asked for when none is named, the consent, the download and
  // the reboot notice.
  // What happened is in the record (its outcome among it).
  void RunAll(const std::string& image);

  // After a confirmed download: the notice that the machine must be
  // rebooted before the drive is used.
  void TellReboot();

  // The 16-bit byte sum of the image last read.
  std::uint16_t ImageChecksum() const { return imageChecksum_; }
  // A drive was chosen and may receive the image.
  bool DriveChosen() const;
  // False once the drive took the image or may have (the download phase
  // began and the drive did not refuse the command): the download command
  // is never sent again in this run. A drive that refused it took nothing,
  // and the image may be sent again; so may one that failed while writing
  // it, which must be flashed again.
  bool MayDownloadAgain() const { return !imageSent_; }

  // Called from the waits of the reprogramming window: the front end's
  // windows are answered, and a command the drive holds is said.
  void AnswerWhileWaiting();

 private:
  // The status line's and a report row's new text: recorded in the run's
  // record (as a window's text buffer holds it) and told to the observer.
  void Status(const std::string& text);
  void Row(ReportRow row, const std::string& value);
  void ResetDownloadRecord();
  DownloadResult SendImage();
  bool VerifyDownload();
  bool ConfirmedByInquiry(struct InquiryAnswer& answer);
  bool Pause(std::uint32_t milliseconds);
  // The reprogramming window's deadline has passed (on the program's clock
  // too, counted from downloadEndedAt_).
  bool WindowOver() const;

  AspiDevice& device_;
  const SessionRequest& request_;
  RunRecord& record_;
  ScanRecord& scan_;
  SessionObserver& observer_;
  SessionQuestions& questions_;
  std::uint16_t imageChecksum_ = 0;
  bool busy_ = false;
  bool imageSent_ = false;
  // The command of the reprogramming window now awaited: when it was sent,
  // and whether the waiting note was shown for it.
  std::uint32_t commandSentAt_ = 0;
  bool holdNoticeShown_ = false;
  // When the download command ended, on the program's clock.
  std::uint32_t downloadEndedAt_ = 0;
  friend class WindowCommand;
};

// The sweep of the scan step alone (--list): every address asked, the drives
// of the model kept in DeviceTable (g_deviceCount), what each address
// answered in `scan`; the device then addresses nothing. Returns the count
// of every drive of the model accepted, also those past the table's end.
int SweepForDrives(AspiDevice& device, ScanRecord& scan,
                   const std::function<void()>& waitPump = {});

// The texts of the status line that the session and its front ends share.
inline constexpr const char* kTextFailToFindDevice = "Fail to Find Device";
inline constexpr const char* kTextOutOfMemory = "Out of Memory...";
inline constexpr const char* kTextFailToInitialize = "Fail to Initialize ASPI !";
inline constexpr const char* kTextReady = "Ready to Download, select HEX file...";
inline constexpr const char* kTextDownloading = "Downloading...";
inline constexpr const char* kTextDownloadSucceeded = "Download has been done successfully!";
inline constexpr const char* kTextDownloadFailed = "Download has been failed!";
// The drive took the image, or may have, and did not confirm it: it may still
// be rewriting its firmware, so it is not a failure to retry.
inline constexpr const char* kTextDownloadUnconfirmed =
    "Download not confirmed: do not switch off!";
// The drive failed while writing: its firmware may be incomplete.
inline constexpr const char* kTextDownloadIncomplete = "Download incomplete: flash it again now!";
// The notice after a success.
inline constexpr const char* kCaptionNotice = "Notice";
inline constexpr const char* kTextReboot = "Please Reboot system";

// How a download ended, as `record` says: succeeded, incomplete, not
// confirmed (the drive took the image or may have, a signal cut the waits
// short included) or failed. Every front end shows it by this.
enum class DownloadEnd { kSucceeded, kIncomplete, kUnconfirmed, kFailed };
DownloadEnd DownloadEndOf(const RunRecord& record);
// The status line's last text for that end.
const char* DownloadEndText(const RunRecord& record);

// What the request pins the image to, as the image verdict takes it.
ImagePins PinsOf(const SessionRequest& request);
// The verdict's warnings as one text of sentences without the last full
// stop (RunRecord::imageWarning); empty when there are none.
std::string WarningsText(const ImageVerdict& verdict);
// Records `reason` (the verdict's on an image not the one pinned) as the
// run's failure: the image is not the one pinned, and was not sent. An empty
// reason records that the image is the one pinned.
void RecordUnexpectedImage(RunRecord& record, const std::string& reason);
