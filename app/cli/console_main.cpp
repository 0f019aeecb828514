// qtr5-download: the program on a terminal or in a script.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/cli/console_front_end.h"
#include "app/cli/options.h"
#include "app/cli/program.h"
#include "platform/backend.h"
#include "platform/console/console_backend.h"

int main(int argc, char** argv) {
  const ParseResult parsed = ParseProgramOptions(argc, argv, "qtr5-download");
  if (const auto status = FinishUnlessRun(parsed)) return *status;
  // A reader that goes away (`| head`) must not end the program in the
  // middle of a download: writes then fail quietly and the flow completes.
  std::signal(SIGPIPE, SIG_IGN);

  qtr5::ConsoleOptions console = qtr5::StandardConsoleOptions();
  if (parsed.options.json && !parsed.options.list) {
    // Standard output carries only the run's JSON summary; what the window
    // shows goes to standard error.
    console.out = &std::cerr;
    console.outputIsTerminal = isatty(STDERR_FILENO) != 0;
  }
  int status = 0;
  {
    qtr5::ConsoleBackend backend(console);
    qtr5::ScopedBackend installed(backend);
    ConsoleFrontEnd frontEnd(backend, console.inputIsTerminal);
    status = RunProgram(parsed.options, frontEnd);
  }
  std::cout.flush();
  const bool written = std::cout.good() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  // A list or a check that could not be written did not succeed.
  if (!written && status == ExitStatus(ProgramOutcome::kSuccess) &&
      (parsed.options.list || parsed.options.check)) {
    std::fprintf(stderr, "qtr5-download: the output could not be written\n");
    status = ExitStatus(ProgramOutcome::kFailed);
  }
  return status;
}
