// What a flash session asks of whoever runs it: a person at a window or a
// terminal, or a script's options (--yes). The session decides when to ask;
// the answer is the front end's.
#pragma once

#include <optional>
#include <string>

// The answer before the download of the run's image (FlashSession::RunAll).
struct DownloadConsent {
  bool download = false;
  // Without consent: the status text that says why; empty when the status
  // line is to stay as it is.
  std::string status;
};

class SessionQuestions {
 public:
  virtual ~SessionQuestions() = default;
  // Several drives of the model were accepted (DeviceTable holds them,
  // g_deviceCount of them): the row to flash, or -1 when no drive was chosen
  // (nothing is then opened or sent).
  virtual int ChooseDrive() = 0;
  // The image read carries a warning (`warning`, one sentence without its
  // full stop): true to download it all the same.
  virtual bool ConfirmImageWarning(const std::string& warning) = 0;

  // The rest is asked when the session runs every step in order (RunAll).
  // A drive is chosen and its tray not yet opened: the status text of a run
  // that cannot download (no image, a damaged or unexpected one, no
  // download allowed), which then ends with nothing more sent; "" goes on.
  // `image` is the image the run would flash ("" when none is named).
  virtual std::string RefusalBeforeTray(const std::string& /*image*/) { return {}; }
  // The drive is prepared: its tray was asked to open and the status line
  // says the program is ready to download.
  virtual void StartedUp() {}
  // No image is named: the file to flash, or nothing (the run then ends
  // without one).
  virtual std::optional<std::string> AskForImage() { return std::nullopt; }
  // Whether to send `image` (`nameTooLong`: its name does not fit, and
  // reading it fails).
  virtual DownloadConsent ConfirmDownload(const std::string& image, bool nameTooLong) = 0;
};
