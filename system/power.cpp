// SetExecutionState off Windows: a logind inhibitor lock held by a
// child process for as long as the program asks the system to stay up.
#include "system/power.h"

#include <fcntl.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): POSIX's sigset_t and sigemptyset
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

// POSIX leaves this declaration to the program (glibc has it only with _GNU_SOURCE).
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace {

struct Inhibitor {
  std::mutex lock;
  std::vector<std::string> tools{"/usr/bin/systemd-inhibit", "/bin/systemd-inhibit"};
  std::vector<std::string> cats{"/usr/bin/cat", "/bin/cat"};
  std::uint32_t state = 0;
  pid_t child = -1;
  int pipe = -1;  // the write end of the child's standard input
};

Inhibitor& TheInhibitor() {
  static Inhibitor inhibitor;
  return inhibitor;
}

const std::string* FirstExecutable(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (::access(path.c_str(), X_OK) == 0) return &path;
  }
  return nullptr;
}

void StartLock(Inhibitor& inhibitor) {
  const std::string* tool = FirstExecutable(inhibitor.tools);
  const std::string* cat = FirstExecutable(inhibitor.cats);
  int ends[2];
  if (tool == nullptr || cat == nullptr || ::pipe2(ends, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // The program opens its files close-on-exec; what a library may have
  // opened without it is closed here, so that the child inherits its pipe
  // and nothing else (no recording, no device node of the drive).
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  // A process group of its own: the terminal's Ctrl-C, which the program
  // answers itself during the download, must not end the lock. Signals as
  // a new program has them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigfillset(&defaults);  // the ignored ones (SIGPIPE, SIGXFSZ) too
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const std::string who = "--who=qtr5-download";
  const std::string why = "--why=Rewriting the CD-ROM drive's firmware";
  const char* arguments[] = {tool->c_str(),  "--what=sleep:shutdown",
                             "--mode=block", who.c_str(),
                             why.c_str(),    cat->c_str(),
                             nullptr};
  pid_t child = -1;
  const int error = posix_spawn(&child, tool->c_str(), &actions, &attributes,
                                const_cast<char* const*>(arguments), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(ends[0]);
  if (error != 0) {
    ::close(ends[1]);
    return;
  }
  inhibitor.child = child;
  inhibitor.pipe = ends[1];
}

// Closes the pipe and waits a little for the child, which then ends: the
// lock is gone when this returns, unless the child hangs (it is left then).
void EndLock(Inhibitor& inhibitor) {
  if (inhibitor.pipe >= 0) ::close(inhibitor.pipe);
  inhibitor.pipe = -1;
  if (inhibitor.child < 0) return;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (::waitpid(inhibitor.child, nullptr, WNOHANG) == 0 &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  inhibitor.child = -1;
}

}  // namespace

namespace qtr5 {

void SetInhibitorTools(std::vector<std::string> paths) {
  Inhibitor& inhibitor = TheInhibitor();
  std::lock_guard<std::mutex> hold(inhibitor.lock);
  inhibitor.tools = std::move(paths);
}

}  // namespace qtr5

std::uint32_t qtr5::SetExecutionState(std::uint32_t flags) {
  Inhibitor& inhibitor = TheInhibitor();
  std::lock_guard<std::mutex> hold(inhibitor.lock);
  const std::uint32_t previous = inhibitor.state | qtr5::kExecutionContinuous;
  // Without kExecutionContinuous the call only resets the idle timers:
  // nothing to hold.
  if ((flags & qtr5::kExecutionContinuous) == 0) return previous;
  const bool wanted = (flags & qtr5::kExecutionSystemRequired) != 0;
  if (wanted && inhibitor.pipe < 0) StartLock(inhibitor);
  if (!wanted) EndLock(inhibitor);
  inhibitor.state = flags & ~qtr5::kExecutionContinuous;
  return previous;
}
