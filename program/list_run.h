// --list, and what it shares with a run: the names of a device, why the
// devices the scan saw were not accepted, and the one --json summary a run
// prints (unless a signal printed it first).
#pragma once

#include <string>

#include "discovery/scan_record.h"
#include "program/exit_status.h"
#include "program/options.h"

class ProgramFrontEnd;

// --json: prints the run's summary, once. A signal may have taken it first:
// the program is then ending with the summary the signal handler wrote, and
// this only waits for that end.
void PrintFinalSummary(ProgramFrontEnd& frontEnd, const std::string& summary);

// Every device of `scan` that answered but was not accepted, and why;
// `shownInWindow`: a person saw it in the window's "Why" box already.
void TellNotAccepted(ProgramFrontEnd& frontEnd, const ScanRecord& scan, bool shownInWindow = false);

// --list: the sweep of the start-up on a device of its own; no tray is
// opened and no drive is chosen.
Outcome RunList(const ProgramOptions& options, ProgramFrontEnd& frontEnd);
