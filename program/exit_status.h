// The exit statuses of the qtr5-download programs: one table, used by the
// programs to end and by the help text to explain them. The outcomes and
// their numbers are session/outcome.h, where the run decides them.
#pragma once

#include <string>

#include "session/outcome.h"

// The exit status of an outcome.
int ExitStatus(Outcome outcome);

// A short name of the outcome for machine-readable output ("success",
// "failed", "usage-error", "no-drive", "internal-failure",
// "refused-to-guess", "not-downloaded", "replay-diverged", "interrupted",
// "unconfirmed", "not-ready", "incomplete", "not-answering", "no-access").
const char* OutcomeName(Outcome outcome);

// What the status means, in one line.
const char* ExitStatusMeaning(Outcome outcome);

// The table as the help shows it: "   N  meaning" lines, the numbers right
// aligned, a long meaning wrapped under itself; in status order.
std::string ExitStatusHelp();
