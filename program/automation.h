// What the options ask of a started application: click Download by itself
// (--yes), ask first on a terminal, or leave the drive alone; and end the
// program once the download has an outcome. It runs as the front end's idle
// handler, each time the application waits for its user.
#pragma once

#include <cstdint>
#include <string>

#include "program/options.h"
#include "session/outcome.h"

class ProgramFrontEnd;
struct FirmwareImage;
struct RunContext;

class DownloadAutomation {
 public:
  // Works the application of `run`; the image is the one --image names, or
  // the one the application put in its file name box (the default image,
  // or a file chosen with the browse button), as its run records it.
  DownloadAutomation(const ProgramOptions& options, ProgramFrontEnd& frontEnd, RunContext& run);

  // Posts the next action and returns true, or returns false when the
  // program has nothing more to do (the front end then closes the window).
  bool OnIdle();

  // What the transport said it cannot keep away from the drive while it
  // rewrites its firmware (told before the download); empty when nothing.
  const std::string& GuardWarning() const { return guardWarning_; }
  // Called once the drive is chosen and before its tray is opened: with
  // --yes, or when no question can be asked, a run that cannot download is
  // found here (no image, a damaged or unexpected one, no download allowed),
  // said on standard error, and its status text returned; "" otherwise.
  std::string RefusalBeforeTray();
  // The Download button was clicked: the download command may be on its way.
  bool DownloadClicked() const { return stage_ == Stage::kDownloadClicked; }

 private:
  enum class Stage { kStart, kBrowsing, kDownloadClicked, kDone };

  bool Step();
  bool Start();
  bool ConfirmDownload();
  bool ClickDownload();
  // Refuses an image that cannot be sent (said on standard error): its
  // status text, or null when it may be offered.
  const char* RefuseImage(const std::string& file, const FirmwareImage& preview);
  // The image the download is to send, as read here.
  void Prepare(const std::string& file, const FirmwareImage& image);
  std::string Question(const std::string& file, std::uint16_t checksum) const;
  // The image the Download command would send; empty when there is none
  // or its name is longer than the command accepts (`tooLong` then set).
  std::string ImageName(bool& tooLong) const;
  // Ends the automation without a download: `outcome` says why.
  void Stop(Outcome outcome);
  void ExplainMissingImage();
  void TellGuardLimits();

  bool yes_;
  bool hasImage_;
  std::string imagePath_;
  ProgramFrontEnd& frontEnd_;
  RunContext& run_;
  Stage stage_ = Stage::kStart;
  std::string guardWarning_;
};
