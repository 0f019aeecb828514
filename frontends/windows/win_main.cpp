// qtr5-download.exe: the Windows desktop program. Without options it is the
// dialog program as it always was; the options of the command-line program
// work here too, with their output on the console the program was started
// from (or wherever its output is redirected).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontends/windows/console_output.h"
#include "frontends/windows/windows_front_end.h"
#include "program/options.h"
#include "program/program.h"
#include "text/version.h"

namespace {

// Help, version and usage errors go to the console; a program started
// without one (from the desktop) shows them in a message box instead.
void Show(const std::string& text, std::FILE* stream, bool haveOutput, UINT icon) {
  if (haveOutput) {
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  } else {
    MessageBoxA(nullptr, text.c_str(), kProgramTitle, MB_OK | icon);
  }
}

}  // namespace

// `showCommand` is how the program was started (STARTUPINFO's show command,
// e.g. minimised from a shortcut); the main window is first shown so.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  const StandardStreams streams = ConnectStandardOutput();
  const bool haveOutput = streams.output;
  const ParseResult parsed = ParseProgramOptions(__argc, __argv, kCommandName);
  switch (parsed.action) {
    case ParseAction::kHelp:
    case ParseAction::kVersion:
      Show(parsed.text, stdout, haveOutput, MB_ICONINFORMATION);
      return ExitStatus(Outcome::kSuccess);
    case ParseAction::kUsageError:
      Show(parsed.text, stderr, haveOutput, MB_ICONERROR);
      if (parsed.options.json && haveOutput) std::printf("%s\n", UsageErrorJson(parsed).c_str());
      return ExitStatus(Outcome::kUsageError);
    case ParseAction::kRun:
      break;
  }
  int status = 0;
  {
    WindowsFrontEnd frontEnd(parsed.options, showCommand, streams.error);
    status = RunProgram(parsed.options, frontEnd);
    frontEnd.ShowUnseenNotes(status);
  }
  // The status of what the run did, as every program of the project ends
  // with: a window closed before a download ends with 6, not 0.
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}
