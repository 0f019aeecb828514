// qtr5-download: the program on a terminal or in a script.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "frontends/console/console_front_end.h"
#include "frontends/console/terminal.h"
#include "image/image_check.h"
#include "program/options.h"
#include "program/program.h"
#include "system/interruption.h"

namespace {

// The output a script reads (a list, a check, a version, a --json summary)
// reached its reader, or the run fails.
int JudgeWrittenOutput(int status, bool listOrCheck) {
  std::cout.flush();
  const bool written = std::cout.good() && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  if (!written && status == ExitStatus(Outcome::kSuccess) && listOrCheck) {
    std::fprintf(stderr, "qtr5-download: the output could not be written\n");
    return ExitStatus(Outcome::kFailed);
  }
  return status;
}

// `--version` and `--check FILE`, the forms scripts call over and over, are
// answered without setting up the option parser, the window layer or a
// transport: start-up is most of their time. Any other form goes the long
// way, which gives these two the same output and status.
std::optional<int> AnswerQuickly(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", ProgramVersionText().c_str());
    return JudgeWrittenOutput(ExitStatus(Outcome::kSuccess), true);
  }
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0 && argv[2][0] != '\0' &&
      argv[2][0] != '-') {
    const ImageCheckResult result = RunImageCheck(argv[2], nullptr, stdout, stderr);
    return JudgeWrittenOutput(
        ExitStatus(result == kImageCheckBuilt ? Outcome::kSuccess : Outcome::kFailed), true);
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away (`| head`) must not end the program, in the
  // middle of a download least of all: writes then fail, the flow completes
  // and the output is judged as not written.
  IgnoreWriteFailureSignals();
  if (const auto status = AnswerQuickly(argc, argv)) return *status;
  const ParseResult parsed = ParseProgramOptions(argc, argv, kCommandName);
  if (const auto status = FinishUnlessRun(parsed)) return *status;

  qtr5::ConsoleOptions console = qtr5::StandardConsoleOptions();
  if (parsed.options.json && !parsed.options.list) {
    // Standard output carries only the run's JSON summary; what the run
    // shows goes to standard error.
    console.out = &std::cerr;
    console.outputIsTerminal = isatty(STDERR_FILENO) != 0;
  }
  int status = 0;
  {
    qtr5::Terminal terminal(console);
    ConsoleFrontEnd frontEnd(terminal, console.inputIsTerminal);
    status = RunProgram(parsed.options, frontEnd);
  }
  // A list, a check or a summary that could not be written did not succeed.
  return JudgeWrittenOutput(status,
                            parsed.options.list || parsed.options.check || parsed.options.json);
}
