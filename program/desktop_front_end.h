// What every desktop front end (the Qt window, the Windows program) means by
// who drives the window, said once: a person, unless --yes makes the program
// run by itself. A person gets the Select Device dialog among several drives
// and the boxes that say why a download failed or why no drive was found;
// the automation's idle handler is used only with --yes.
#pragma once

#include <functional>
#include <utility>

#include "program/options.h"
#include "program/program_front_end.h"

class DesktopFrontEnd : public ProgramFrontEnd {
 public:
  explicit DesktopFrontEnd(const ProgramOptions& options) : automated_(options.yes) {}

  bool UserWorksTheWindow() const final { return !automated_; }
  void SetIdleHandler(std::function<bool()> handler) final {
    RunWhenIdle(automated_ ? std::move(handler) : std::function<bool()>{});
  }

 protected:
  bool Automated() const { return automated_; }
  // Runs `handler` whenever the window waits for its user (none: stop).
  virtual void RunWhenIdle(std::function<bool()> handler) = 0;

 private:
  bool automated_;
};
