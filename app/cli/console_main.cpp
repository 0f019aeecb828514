// qtr5-download: the program on a terminal or in a script.
#include <cstdio>

#include "app/cli/console_front_end.h"
#include "app/cli/options.h"
#include "app/cli/program.h"
#include "platform/backend.h"
#include "platform/console/console_backend.h"

int main(int argc, char** argv) {
  const ParseResult parsed = ParseProgramOptions(argc, argv, "qtr5-download");
  switch (parsed.action) {
    case ParseAction::kHelp:
    case ParseAction::kVersion:
      std::printf("%s\n", parsed.text.c_str());
      return ExitStatus(ProgramOutcome::kSuccess);
    case ParseAction::kUsageError:
      std::fprintf(stderr, "%s\n", parsed.text.c_str());
      return ExitStatus(ProgramOutcome::kUsageError);
    case ParseAction::kRun:
      break;
  }
  const qtr5::ConsoleOptions console = qtr5::StandardConsoleOptions();
  int status = 0;
  {
    qtr5::ConsoleBackend backend(console);
    qtr5::ScopedBackend installed(backend);
    ConsoleFrontEnd frontEnd(backend, console.inputIsTerminal);
    status = RunProgram(parsed.options, frontEnd);
  }
  std::fflush(stdout);
  return status;
}
