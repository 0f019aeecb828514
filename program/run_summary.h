// The --json summaries of the runs that end before the application runs or
// without it (a usage error, a device name that names nothing, no display,
// an image check, an interrupted list), and the judgement of standard output:
// a summary or a text that never reached its reader is a failure.
#pragma once

#include <string>

#include "image/image_check.h"
#include "program/exit_status.h"

// One line: the summary of a run that ended with `outcome` before anything
// was done, with `error` saying why (printable as JSON text).
std::string NothingDoneSummary(ProgramOutcome outcome, const std::string& error);

// --check --json: the result, the checksum, the file's SHA-256 and its data
// byte count, and why the check failed (null when it did not).
std::string CheckSummary(ProgramOutcome outcome, const std::string& file,
                         const ImageCheckReport& report);

// --list --json ended by a signal before its list was complete.
std::string InterruptedListSummary();

// Flushes standard output. False, after saying so on standard error with
// `programName`, when what was written there could not be written.
bool StandardOutputWritten(const char* programName);
