// What the options ask of a started application: click Download by itself
// (--yes), ask first on a terminal, or leave the drive alone; and end the
// program once the download has an outcome. It runs as the front end's idle
// handler, each time the application waits for its user.
#pragma once

#include <cstdint>
#include <string>

#include "program/options.h"
#include "winui/winapi.h"

class ProgramFrontEnd;
struct ImagePreview;

class DownloadAutomation {
 public:
  DownloadAutomation(const ProgramOptions& options, ProgramFrontEnd& frontEnd);

  // Posts the next action and returns true, or returns false when the
  // program has nothing more to do (the front end then closes the window).
  bool OnIdle();

  // Why no download was started, when none was.
  bool Declined() const { return declined_; }          // the user said no
  bool NotConfirmed() const { return notConfirmed_; }  // no --yes and no terminal
  bool NoImage() const { return noImage_; }            // nothing to flash
  // The image was read before the question and could not be built.
  bool ImageUnreadable() const { return imageUnreadable_; }
  // What the transport said it cannot keep away from the drive while it
  // rewrites its firmware (told before the download); empty when nothing.
  const std::string& GuardWarning() const { return guardWarning_; }
  // Called once the drive is chosen and before its tray is opened: with
  // --yes, or when no question can be asked, a run that cannot download is
  // found here (no image, a damaged or unexpected one, no download allowed),
  // said on standard error, and its status text returned; "" otherwise.
  std::string RefusalBeforeTray(HWND mainWindow);
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
  const char* RefuseImage(const std::string& file, const ImagePreview& preview);
  std::string Question(std::uint16_t checksum) const;
  void ExplainMissingImage();
  void TellGuardLimits();

  bool yes_;
  bool hasImage_;
  ProgramFrontEnd& frontEnd_;
  Stage stage_ = Stage::kStart;
  bool declined_ = false;
  bool notConfirmed_ = false;
  bool noImage_ = false;
  bool imageUnreadable_ = false;
  std::string guardWarning_;
};
