// qtr5-download: the program on a terminal.
#include <cstdio>

#include "app/cli/options.h"

int main(int argc, char** argv) {
  const ParseResult parsed = ParseProgramOptions(argc, argv, "qtr5-download");
  switch (parsed.action) {
    case ParseAction::kHelp:
    case ParseAction::kVersion:
      std::printf("%s\n", parsed.text.c_str());
      return 0;
    case ParseAction::kUsageError:
      std::fprintf(stderr, "%s\n", parsed.text.c_str());
      return 2;
    case ParseAction::kRun:
      break;
  }
  return 0;
}
