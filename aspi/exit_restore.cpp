// The registry of restoring writes: a fixed table of entries, each claimed
// and released with atomics, so that a signal handler on any thread may run
// it while the owner adds or removes an entry.
#include "aspi/exit_restore.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

enum State : int { kFree, kFilling, kReady, kRunning };

struct Entry {
  std::atomic<int> state{kFree};
  char path[512] = {};
  char text[32] = {};
  std::size_t length = 0;
};

constexpr int kEntries = 8;
Entry g_entries[kEntries];

void WriteEntry(const Entry& entry) {
#ifndef _WIN32
  const int fd = ::open(entry.path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  // A sysfs attribute takes its value in one write.
  const ssize_t ignored = ::write(fd, entry.text, entry.length);
  static_cast<void>(ignored);
  ::close(fd);
#else
  static_cast<void>(entry);
#endif
}

}  // namespace

int AddExitRestore(const std::string& path, const std::string& text) {
#ifdef _WIN32
  static_cast<void>(path);
  static_cast<void>(text);
  return -1;
#else
  if (path.size() >= sizeof Entry::path || text.size() >= sizeof Entry::text) return -1;
  // An exit that is not a signal (return from main, exit()) runs them too.
  static const bool atExit = std::atexit(RunExitRestores) == 0;
  static_cast<void>(atExit);
  for (int i = 0; i < kEntries; ++i) {
    int expected = kFree;
    if (!g_entries[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_entries[i].path, path.c_str(), path.size() + 1);
    std::memcpy(g_entries[i].text, text.data(), text.size());
    g_entries[i].length = text.size();
    g_entries[i].state.store(kReady);
    return i;
  }
  return -1;
#endif
}

void RemoveExitRestore(int entry) {
  if (entry < 0 || entry >= kEntries) return;
  int expected = kReady;
  g_entries[entry].state.compare_exchange_strong(expected, kFree);
}

void RunExitRestores() {
  for (Entry& entry : g_entries) {
    int expected = kReady;
    if (!entry.state.compare_exchange_strong(expected, kRunning)) continue;
    WriteEntry(entry);
    entry.state.store(kFree);
  }
}
