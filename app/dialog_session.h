// The described application as a front end of the flash session: what the
// session tells is shown in the main window (status line, report rows,
// progress bar, busy picture, boxes); what it asks is asked in the window's
// dialogs and boxes. Each serves the DownloadApp it is given, which may
// still be starting up (the Select Device dialog runs before g_app is set).
#pragma once

#include <string>
#include <string_view>

#include "session/session_observer.h"
#include "session/session_questions.h"

class DownloadApp;

class DialogObserver : public SessionObserver {
 public:
  explicit DialogObserver(DownloadApp& app) : app_(app) {}
  void StatusChanged(std::string_view text) override;
  void ReportRowChanged(ReportRow row, std::string_view value) override;
  void ProgressChanged(int percent) override;
  void BusyTick(bool waitFrame) override;
  void WaitingNote(std::string_view text) override;
  void WaitingEnded(std::string_view previous) override;
  void Notice(std::string_view caption, std::string_view text) override;

 private:
  DownloadApp& app_;
};

class DialogQuestions : public SessionQuestions {
 public:
  explicit DialogQuestions(DownloadApp& app) : app_(app) {}
  // The Select Device dialog. A dialog that could not be made, or an answer
  // outside the table, chooses the first drive, as closing it without a
  // selection does.
  int ChooseDrive() override;
  // A person at the window is asked in a box; a run that explains nothing
  // in boxes has said the warning already and goes on.
  bool ConfirmImageWarning(const std::string& warning) override;
  // The window's Download command is the consent itself.
  DownloadConsent ConfirmDownload(const std::string& /*image*/, bool /*nameTooLong*/) override {
    return {true, {}};
  }

 private:
  DownloadApp& app_;
};
