// What the options and the front end answer when a run is not worked at a
// window: whether to download (--yes, or the terminal's question), which
// image (the one named, or asked for on a terminal), which drive of several
// (a numbered choice on a terminal), and the refusals before the tray.
// What it refuses is said through the front end; the outcome it decides is
// recorded in the run's record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "discovery/scan_record.h"
#include "program/options.h"
#include "session/run_record.h"
#include "session/session_questions.h"
#include "session/session_request.h"

class ProgramFrontEnd;
struct FirmwareImage;

class ProgramQuestions : public SessionQuestions {
 public:
  ProgramQuestions(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                   SessionRequest& request, RunRecord& record, const ScanRecord& scan);

  int ChooseDrive() override;
  // The terminal's question has said every warning already.
  bool ConfirmImageWarning(const std::string& /*warning*/) override { return true; }
  // With --yes, or when no question can be asked, a run that cannot download
  // is found here (no image, a damaged or unexpected one, no download
  // allowed), said on standard error, and its status text returned.
  std::string RefusalBeforeTray(const std::string& image) override;
  void StartedUp() override;
  std::optional<std::string> AskForImage() override;
  DownloadConsent ConfirmDownload(const std::string& image, bool nameTooLong) override;

  // What the transport said it cannot keep away from the drive while it
  // rewrites its firmware (told before the download); empty when nothing.
  const std::string& GuardWarning() const { return guardWarning_; }
  // The download was consented to: the download command may be on its way.
  bool DownloadConsented() const { return consented_; }
  // A dry run on a terminal: a real run would have asked before the
  // download.
  bool WouldAsk() const { return wouldAsk_; }
  // The tray command has ended (start-up is over).
  bool StartedUpAlready() const { return startedUp_; }
  // Called whenever the run reaches a point where a signal's summary should
  // be renewed (before the tray, after start-up, after the consent).
  void SetOnProgress(std::function<void()> onProgress) { onProgress_ = std::move(onProgress); }
  // Tells a tray that did not open, once, when start-up is over.
  void TellTray();

 private:
  void Stop(Outcome outcome) { record_.outcome = outcome; }
  // Refuses an image that cannot be sent (said on standard error): its
  // status text, or null when it may be offered.
  const char* RefuseImage(const std::string& file, const FirmwareImage& preview);
  // The image the download is to send, as read here.
  void Prepare(const std::string& file, const FirmwareImage& image);
  std::string Question(const std::string& file, std::uint16_t checksum) const;
  void ExplainMissingImage();
  void TellGuardLimits();
  void Progress() {
    if (onProgress_) onProgress_();
  }

  bool yes_;
  bool hasImage_;
  ProgramFrontEnd& frontEnd_;
  SessionRequest& request_;
  RunRecord& record_;
  const ScanRecord& scan_;
  std::string guardWarning_;
  bool wouldAsk_ = false;
  bool consented_ = false;
  bool startedUp_ = false;
  bool trayTold_ = false;
  std::function<void()> onProgress_;
};
