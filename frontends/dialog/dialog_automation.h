// --yes at a desktop window: once the application waits for its user after
// start-up, the Download command is given by itself when the run's
// questions consent (the image named or in the file name box), and the
// program ends once the download has an outcome.
#pragma once

#include <string>

#include "program/options.h"

class ProgramQuestions;
struct RunContext;

class DialogAutomation {
 public:
  DialogAutomation(const ProgramOptions& options, ProgramQuestions& questions, RunContext& run);

  // Posts the next action and returns true, or returns false when the
  // program has nothing more to do (the front end then closes the window).
  bool OnIdle();

 private:
  enum class Stage { kStart, kDownloadClicked, kDone };

  bool hasImage_;
  std::string imagePath_;
  ProgramQuestions& questions_;
  RunContext& run_;
  Stage stage_ = Stage::kStart;
};
