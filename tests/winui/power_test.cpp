// SetThreadExecutionState off Windows: a stand-in inhibitor tool records its
// arguments and, like the real one, holds its lock until its command ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "system/power.h"
#include "tests/support/temp_dir.h"
#include "winui/win32.h"

namespace {

namespace fs = std::filesystem;

TEST(Inhibitor, HeldWhileTheSystemIsRequiredAndReleasedAfter) {
  TempDir dir("qtr5-inhibit");
  const std::string args = dir.path() + "/args", pid = dir.path() + "/pid";
  // The lock's process becomes its command, which holds the lock.
  const std::string tool = dir.Write("inhibit", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> " + args +
                                                    "\necho $$ > " + pid + "\nexec \"$5\"\n");
  chmod(tool.c_str(), 0700);
  qtr5::SetInhibitorTools({dir.path() + "/missing", tool});
  const auto slurp = [](const std::string& path) {
    return (std::stringstream() << std::ifstream(path).rdbuf()).str();
  };
  std::ifstream inheritable(tool);  // not close-on-exec, as a library may leave a file

  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);  // already held: no second one
  for (int i = 0; i < 500 && slurp(pid).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(slurp(args),
            "--what=sleep:shutdown\n--mode=block\n--who=qtr5-download\n"
            "--why=Rewriting the CD-ROM drive's firmware\n" +
                std::string(fs::exists("/usr/bin/cat") ? "/usr/bin/cat" : "/bin/cat") + "\n");
  // The lock is held by a process that has its pipe and nothing of this one.
  const std::string child = "/proc/" + std::to_string(std::atoi(slurp(pid).c_str()));
  std::error_code error;
  for (int i = 0; i < 500 && fs::read_symlink(child + "/exe", error).filename() != "cat"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string held;
  for (const auto& fd : fs::directory_iterator(child + "/fd", error))
    held += fd.path().filename().string() + " " + fs::read_symlink(fd, error).string() + ", ";
  EXPECT_TRUE(std::regex_match(held, std::regex("0 pipe:.*, 1 /dev/null, 2 /dev/null, "))) << held;
  SetThreadExecutionState(ES_CONTINUOUS);
  EXPECT_FALSE(fs::exists(child)) << "the lock must be released";
}

}  // namespace
