// SetThreadExecutionState off Windows: a stand-in inhibitor tool records its
// arguments and, like the real one, holds its lock until its command ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "system/power.h"
#include "tests/support/temp_dir.h"
#include "winui/win32.h"

namespace {

TEST(Inhibitor, HeldWhileTheSystemIsRequiredAndReleasedAfter) {
  TempDir dir("qtr5-inhibit");
  const std::string args = dir.path() + "/args", released = dir.path() + "/released";
  const std::string tool = dir.Write("inhibit", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> " + args +
                                                    "\n\"$5\"\necho done > " + released + "\n");
  chmod(tool.c_str(), 0700);
  qtr5::SetInhibitorTools({dir.path() + "/missing", tool});
  const auto slurp = [](const std::string& path) {
    return (std::stringstream() << std::ifstream(path).rdbuf()).str();
  };

  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // already held: no second one
  for (int i = 0; i < 500 && !std::filesystem::exists(args); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(slurp(args),
            "--what=sleep:shutdown\n--mode=block\n--who=qtr5-download\n"
            "--why=Rewriting the CD-ROM drive's firmware\n" +
                std::string(std::filesystem::exists("/usr/bin/cat") ? "/usr/bin/cat" : "/bin/cat") +
                "\n");
  EXPECT_FALSE(std::filesystem::exists(released)) << "the lock must be held";
  SetThreadExecutionState(ES_CONTINUOUS);
  EXPECT_EQ(slurp(released), "done\n");
}

}  // namespace
