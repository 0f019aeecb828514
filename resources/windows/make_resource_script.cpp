// Writes the Windows resource script of the program: the dialog templates
// (from the one table in resources/dialog_templates.cpp), the bitmaps, the
// icon and the version information. Runs on the build machine during the
// Windows build:
//   make_resource_script OUT.rc --bitmap 101=FILE ... --icon 108=FILE
// Every bitmap and icon the templates' table names must be given a file.
// Exit status 0 when the script was written, 1 otherwise (with a message).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "resources/program_resources.h"
#include "resources/windows/resource_script.h"
#include "text/version.h"

namespace {

bool ParseAssignment(std::string_view text, std::map<int, std::string>& into) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == text.size()) return false;
  int id = 0;
  for (char c : text.substr(0, equals)) {
    if (c < '0' || c > '9' || id > 65535) return false;
    id = id * 10 + (c - '0');
  }
  into[id] = std::string(text.substr(equals + 1));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.rc [--bitmap ID=FILE]... [--icon ID=FILE]...\n", argv[0]);
    return 1;
  }
  const std::string output = argv[1];
  ResourceFiles files;
  for (int i = 2; i < argc; ++i) {
    const std::string_view option = argv[i];
    if ((option == "--bitmap" || option == "--icon") && i + 1 < argc &&
        ParseAssignment(argv[i + 1], option == "--bitmap" ? files.bitmaps : files.icons)) {
      ++i;
      continue;
    }
    std::fprintf(stderr, "make_resource_script: bad argument '%s'\n", argv[i]);
    return 1;
  }
  std::string problem;
  const std::string script = MakeResourceScript(files, kProgramTitle, kProgramVersion, problem);
  if (script.empty()) {
    std::fprintf(stderr, "make_resource_script: %s\n", problem.c_str());
    return 1;
  }
  // Written beside the target and renamed over it, so that an interrupted
  // build never leaves half a script behind.
  const std::string temporary = output + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    std::perror(temporary.c_str());
    return 1;
  }
  const bool written = std::fwrite(script.data(), 1, script.size(), file) == script.size();
  if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), output.c_str()) != 0) {
    std::perror(output.c_str());
    std::remove(temporary.c_str());
    return 1;
  }
  return 0;
}
