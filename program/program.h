// RunProgram: what every qtr5-download executable does with its options. It
// chooses the transport (the real one, an emulated bus, a recorded session,
// optionally recorded), runs the check, the list or the application, drives
// the application as the options ask (which drive, which image, download
// without asking), and turns what happened into the exit status.
//
// The front end (terminal, desktop) supplies the few things that differ
// between them through ProgramFrontEnd (program_front_end.h); the window
// backend is installed by the front end before RunProgram is called.
#pragma once

#include <optional>
#include <string>

#include "program/exit_status.h"
#include "program/options.h"

class ProgramFrontEnd;

// For the programs that print on standard streams: shows the help or version
// text on standard output, or the usage error on standard error, and returns
// the exit status; nothing when the options ask for a run.
// With --json (parsed.options.json), a usage error is printed on standard
// output as the run's summary too (outcome "usage-error", the message as
// "error").
std::optional<int> FinishUnlessRun(const ParseResult& parsed);

// The --json summary of a usage error found while parsing (parsed.text).
std::string UsageErrorJson(const ParseResult& parsed);

// Runs the program with parsed options; returns the exit status.
int RunProgram(const ProgramOptions& options, ProgramFrontEnd& frontEnd);

// The command the run's messages name themselves by (the terminal
// program's, whichever front end runs).
inline constexpr const char* kCommandName = "qtr5-download";
