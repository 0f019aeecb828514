#include "aspi/command_time_limits.h"

#include <atomic>

#include "aspi/download_opcode.h"

namespace {

constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kStartStopUnit = 0x1B;

// A negative value means "no override in force".
std::atomic<std::int64_t> g_overrideMs{-1};

// The reprogramming window: open or not, and its deadline on the steady
// clock (nanoseconds since its epoch; 0 while not fixed).
std::atomic<bool> g_windowOpen{false};
std::atomic<std::int64_t> g_windowDeadline{0};

std::int64_t SteadyNow() {
  return std::chrono::steady_clock::now().time_since_epoch().count();
}

std::chrono::milliseconds OwnLimit(const std::uint8_t* cdb) {
  const std::int64_t overrideMs = g_overrideMs.load(std::memory_order_relaxed);
  if (overrideMs >= 0) return std::chrono::milliseconds(overrideMs);
  if (cdb == nullptr) return std::chrono::seconds(60);
  switch (cdb[0]) {
    case kInquiry:
      return std::chrono::seconds(10);
    case kStartStopUnit:
      return std::chrono::seconds(30);  // a tray may take a while to move
    case aspi::kDownloadOpcode:
      return kReprogrammingWindowLength;  // the drive decides how long it takes
    default:
      return std::chrono::seconds(60);
  }
}

}  // namespace

std::chrono::milliseconds CommandTimeLimit(const std::uint8_t* cdb) {
  const std::int64_t deadline = g_windowDeadline.load();
  if (!g_windowOpen.load() || deadline == 0) return OwnLimit(cdb);
  const std::chrono::steady_clock::duration left(deadline - SteadyNow());
  // Rounded up: the limit never ends before the deadline.
  const auto limit = std::chrono::ceil<std::chrono::milliseconds>(left);
  return limit.count() > 0 ? limit : std::chrono::milliseconds(0);
}

std::chrono::milliseconds CommandWaitGrace() {
  if (g_overrideMs.load(std::memory_order_relaxed) >= 0) return std::chrono::milliseconds(0);
  return std::chrono::seconds(5);
}

void OpenReprogrammingWindow() {
  g_windowDeadline.store(0);
  g_windowOpen.store(true);
}

void FixReprogrammingDeadline() {
  const std::uint8_t download[1] = {aspi::kDownloadOpcode};
  const auto limit =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(OwnLimit(download));
  g_windowDeadline.store(SteadyNow() + limit.count());
}

void CloseReprogrammingWindow() {
  g_windowOpen.store(false);
  g_windowDeadline.store(0);
}

bool InReprogrammingWindow() {
  return g_windowOpen.load();
}

bool ReprogrammingDeadlinePassed() {
  const std::int64_t deadline = g_windowDeadline.load();
  return g_windowOpen.load() && deadline != 0 && SteadyNow() >= deadline;
}

ScopedCommandTimeLimitOverride::ScopedCommandTimeLimitOverride(std::chrono::milliseconds limit) {
  const std::int64_t previous = g_overrideMs.exchange(limit.count() < 0 ? 0 : limit.count());
  hadPrevious_ = previous >= 0;
  previous_ = std::chrono::milliseconds(previous);
}

ScopedCommandTimeLimitOverride::~ScopedCommandTimeLimitOverride() {
  g_overrideMs.store(hadPrevious_ ? previous_.count() : -1);
}
