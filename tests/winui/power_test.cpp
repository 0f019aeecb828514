// SetThreadExecutionState off Windows: the inhibitor tool, taken from the
// first of its fixed paths that exists, runs for as long as the system is
// required and is gone when it no longer is. A stand-in script records its
// arguments and, like the real tool, holds its lock until its command
// (cat) ends, which is when the program closes the pipe.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"
#include "winui/power.h"
#include "winui/win32.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Inhibitor, HeldWhileTheSystemIsRequiredAndReleasedAfter) {
  TempDir dir("qtr5-inhibit");
  const std::string tool =
      dir.Write("inhibit", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> " + dir.path() +
                               "/args\n\"$5\"\necho released > " + dir.path() + "/released\n");
  chmod(tool.c_str(), 0700);
  qtr5::SetInhibitorTools({dir.path() + "/missing", tool});

  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // already held: no second one
  for (int i = 0; i < 500 && Slurp(dir.path() + "/args").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Slurp(dir.path() + "/args"),
            "--what=sleep:shutdown\n--mode=block\n--who=qtr5-download\n"
            "--why=Rewriting the CD-ROM drive's firmware\n" +
                std::string(std::filesystem::exists("/usr/bin/cat") ? "/usr/bin/cat" : "/bin/cat") +
                "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/released")) << "the lock must be held";

  SetThreadExecutionState(ES_CONTINUOUS);
  EXPECT_EQ(Slurp(dir.path() + "/released"), "released\n");
  qtr5::SetInhibitorTools({dir.path() + "/missing"});
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // no tool: nothing, no failure
  SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace
