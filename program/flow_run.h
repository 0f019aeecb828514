// What a run of the flow shares, whichever front end shows it (the
// terminal's session, the described window): the request the options make,
// the answer to signals with the --json summary a signal prints, and what is
// told once the run has ended.
#pragma once

#include "discovery/scan_record.h"
#include "program/exit_status.h"
#include "program/options.h"
#include "session/run_record.h"
#include "session/session_request.h"

class ProgramFrontEnd;
class ProgramQuestions;
class RunProvider;

// The drive, the pins and the image the options name, and whether a drive
// may be asked for (`mayAsk`); the front end's pump for the waits.
void FillSessionRequest(const ProgramOptions& options, ProgramFrontEnd& frontEnd, bool mayAsk,
                        SessionRequest& request);

class FlowRun {
 public:
  // Installs the answer to signals: a signal before the download ends the
  // program with nothing sent; after it, the flow stops early and the
  // warning is given.
  FlowRun(const ProgramOptions& options, ProgramFrontEnd& frontEnd, const RunProvider& transport,
          const RunRecord& record, const ScanRecord& scan, const ProgramQuestions& questions);

  // With --json: the summary of what the run has shown so far, renewed, for
  // a signal that ends the run now.
  void Publish() const;

  // The run has ended with `outcome`: tells why nothing was flashed, what
  // the download left, how the run compared with a recording, and (--json)
  // the summary; `shownInWindow`: a person read the reasons in the window's
  // boxes already; `statusPrinted`: the status line was printed beside
  // these lines (a terminal), so what it said is not said again. Returns the
  // outcome the program ends with.
  Outcome Finish(Outcome outcome, bool shownInWindow, bool statusPrinted = false) const;

 private:
  const ProgramOptions& options_;
  ProgramFrontEnd& frontEnd_;
  const RunProvider& transport_;
  const RunRecord& record_;
  const ScanRecord& scan_;
  const ProgramQuestions& questions_;
};

// --replay: says how the run compared with the recording. A run that left
// the recording proves nothing about the recorded drives and gets a status
// of its own; one that stopped short of the recording's end keeps its own.
Outcome JudgeReplay(const RunProvider& transport, ProgramFrontEnd& frontEnd,
                    const ProgramOptions& options, Outcome outcome);
// A run that found no drive, or only one that does not answer, on a
// machine whose system refused the transport a device that may be the
// drive for want of rights could not look: it ends as kNoAccess (with
// kNoAccessLine said), any other outcome stands.
Outcome JudgeAccess(const RunProvider& transport, Outcome outcome);
extern const char* const kNoAccessLine;

// --emulate-state: the line that says a drive's new state was not kept;
// empty when it was (or there is none).
std::string StateWarning(const RunProvider& transport);
