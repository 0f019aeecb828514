// What a flash session asks of whoever runs it: a person at a window or a
// terminal, or a script's options (--yes). The session decides what to ask
// and when; the answer is the front end's.
#pragma once

#include <string>

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
};
