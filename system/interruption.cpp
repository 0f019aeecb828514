// The run's answer to a request to stop. The handler only touches
// lock-free atomics, writes with write(2) and ends with _exit, all safe in a
// signal handler; the phase is changed with compare-and-swap so that a signal
// on another thread and the start of the download cannot both win.
#include "system/interruption.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include "aspi/exit_restore.h"
#include "system/clock.h"
#endif
#include "system/system_time.h"

namespace {

// The phase, or kEnding once a signal ends the program before the download.
constexpr int kEnding = -1;
std::atomic<int> g_phase{static_cast<int>(RunPhase::kBeforeDownload)};
std::atomic<int> g_signalCount{0};
std::atomic<int> g_firstSignal{0};
std::atomic<bool> g_warnAfterOutcome{false};
// Written once at installation, read by the handler.
std::string g_nothingSentText;
std::string g_warningText;
std::string g_commandPendingText;
std::string g_acknowledgePrefix;
// What the run waits for from the drive now (AwaitedCommand), and until
// when at most (steady clock, nanoseconds since its epoch).
std::atomic<int> g_awaited{0};
std::atomic<std::int64_t> g_awaitedUntil{0};
std::atomic<bool> g_downloadEnded{false};

// How often the waits call the message pump off Windows.
constexpr std::uint32_t kPumpIntervalMs = 20;

// Every status the program ends with after a signal.
constexpr int kInterruptedExitStatus = 8;

// The run's summary for a signal that ends the program (--json): published
// whole by the run, taken by exactly one of the handler and the run's own
// ending (an exchange decides), written by the handler with write(2). A
// published text is never freed: the handler may be reading it on another
// thread; the run publishes a new one only when it changed.
std::string g_takenMark;
std::string* const kSummaryTaken = &g_takenMark;
std::atomic<std::string*> g_summary{nullptr};

#ifdef _WIN32
HANDLE g_wakeEvent = nullptr;

// Waits up to `milliseconds` of real time for the wake event, answering the
// thread's messages meanwhile when a pump is set; false when the event woke it.
bool WaitForWake(DWORD milliseconds, const WaitPump& pump) {
  if (!pump) {
    if (g_wakeEvent == nullptr) {
      Sleep(milliseconds);
      return true;
    }
    return WaitForSingleObject(g_wakeEvent, milliseconds) != WAIT_OBJECT_0;
  }
  const DWORD end = GetTickCount() + milliseconds;
  const DWORD events = g_wakeEvent != nullptr ? 1 : 0;
  for (;;) {
    // Messages already waiting are answered first: MsgWaitForMultipleObjects
    // wakes only for new ones.
    pump();
    const auto left = static_cast<LONG>(end - GetTickCount());
    if (left <= 0) return true;
    const DWORD woken = MsgWaitForMultipleObjects(events, events != 0 ? &g_wakeEvent : nullptr,
                                                  FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    if (events != 0 && woken == WAIT_OBJECT_0) return false;
    if (woken == WAIT_TIMEOUT) return true;
  }
}

void WriteError(std::string_view text) {
  DWORD written = 0;
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE)
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
void WriteSummary(std::string_view text) {
  DWORD written = 0;
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output != nullptr && output != INVALID_HANDLE_VALUE)
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
void EndProgram() {
  ExitProcess(kInterruptedExitStatus);
}
void Wake() {
  if (g_wakeEvent != nullptr) SetEvent(g_wakeEvent);
}
#else
int g_wakePipe[2] = {-1, -1};

void WriteAll(int fd, std::string_view text) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    next += written;
    left -= static_cast<std::size_t>(written);
  }
}
void WriteError(std::string_view text) {
  WriteAll(STDERR_FILENO, text);
}
void WriteSummary(std::string_view text) {
  WriteAll(STDOUT_FILENO, text);
}
void EndProgram() {
  RunExitRestores();  // the drive's media polling, paused for the download
  _exit(kInterruptedExitStatus);
}
void Wake() {
  const char byte = 1;
  if (g_wakePipe[1] >= 0) {
    const ssize_t ignored = write(g_wakePipe[1], &byte, 1);
    static_cast<void>(ignored);  // a full pipe is already readable
  }
}
#endif

// Ends the program for a signal, with the run's summary when one was
// published; false (nothing done) when the run is writing its own summary
// already and ends by itself.
bool EndWithSummary(const std::string* before) {
  std::string* summary = g_summary.exchange(kSummaryTaken);
  if (summary == kSummaryTaken) return false;
  if (before != nullptr) WriteError(*before);
  if (summary != nullptr) WriteSummary(*summary);
  EndProgram();
  return true;
}

// Nanoseconds on the steady clock, from a signal handler: clock_gettime is
// safe there, and CLOCK_MONOTONIC is the steady clock's own.
std::int64_t SteadyNanoseconds() {
#ifdef _WIN32
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
#endif
}

// Appends `text` to the line being built in `line` (of `size` bytes),
// without allocating.
void Append(char* line, std::size_t size, std::size_t& used, const char* text) {
  while (*text != '\0' && used + 1 < size) line[used++] = *text++;
  line[used] = '\0';
}

void AppendNumber(char* line, std::size_t size, std::size_t& used, std::int64_t value) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && count < 23);
  char text[24];
  for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = '\0';
  Append(line, size, used, text);
}

// The first signal while the drive holds a command: said at once, since the
// run goes on until the command has ended.
void AcknowledgeAwaitedCommand() {
  const int awaited = g_awaited.load();
  if (awaited == static_cast<int>(AwaitedCommand::kNone)) return;
  const std::int64_t left = std::max<std::int64_t>(0, g_awaitedUntil.load() - SteadyNanoseconds());
  char line[512];
  std::size_t used = 0;
  Append(line, sizeof line, used, g_acknowledgePrefix.c_str());
  Append(line, sizeof line, used,
         awaited == static_cast<int>(AwaitedCommand::kDownload)
             ? "the drive is still working on the download command"
             : "the drive has not yet answered the check after the download");
  Append(line, sizeof line, used, "; waiting at most ");
  AppendNumber(line, sizeof line, used, (left + 999999999) / 1000000000);
  Append(line, sizeof line, used,
         " s more for its answer, then the run ends. Do not switch the machine off: the drive "
         "may be rewriting its firmware.\n");
  WriteError(std::string_view(line, used));
}

void OnInterruption(int signal) {
  if (g_summary.load() == kSummaryTaken) return;  // the run is ending by itself

  int phase = static_cast<int>(RunPhase::kBeforeDownload);
  if (g_phase.compare_exchange_strong(phase, kEnding)) {
    EndWithSummary(&g_nothingSentText);
    return;
  }
  if (phase == kEnding) return;  // another thread is ending the program already
  if (phase == static_cast<int>(RunPhase::kShownOutcome)) {
    EndWithSummary(g_warnAfterOutcome.load() ? &g_warningText : nullptr);
    return;
  }
  int none = 0;
  g_firstSignal.compare_exchange_strong(none, signal);
  if (g_signalCount.fetch_add(1) >= 1) {
    EndWithSummary(phase == static_cast<int>(RunPhase::kDownloading)
                       ? (g_downloadEnded.load() ? &g_warningText : &g_commandPendingText)
                       : nullptr);
    return;
  }
  AcknowledgeAwaitedCommand();
  Wake();
}

#ifndef _WIN32
// Every catchable signal whose default action ends the program, but for the
// two a failed write raises (IgnoreWriteFailureSignals), is someone's
// request to stop, answered alike: left to its default, SIGQUIT in the
// reprogramming window would end the program with no warning, no summary
// and the drive's media polling still paused. The faults (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT) keep their default: the
// program cannot go on after one, and returning from a handler would
// repeat the faulting instruction.
void AnswerStopSignals(const struct sigaction& action) {
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                           SIGPROF, SIGXCPU, SIGIO, SIGPWR, SIGSTKFLT})
    sigaction(signal, &action, nullptr);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaction(signal, &action, nullptr);
}
#endif

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      OnInterruption(static_cast<int>(event) + 1);
      return TRUE;
    default:
      return FALSE;
  }
}
#else
void OnSignal(int signal) {
  const int savedErrno = errno;
  OnInterruption(signal);
  errno = savedErrno;
}
#endif

}  // namespace

void IgnoreWriteFailureSignals() {
#ifndef _WIN32
  // Ignored rather than answered as a request to stop: nothing documented
  // tells the kernel's SIGPIPE for a vanished reader (`| head`) from one
  // sent with kill, and a signal is either ignored or handled. Answered, a
  // reader that goes away would end the run before the download or cut the
  // reprogramming window's waits and its check short; ignored, the write
  // fails, the run goes on and ends with the status its unwritten output
  // deserves. SIGXFSZ is the same for a file that reaches the size limit (a
  // recording). Whoever wants the program to stop has the other signals.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void InstallInterruptionHandlers(const std::string& programName, const std::string& warning) {
  IgnoreWriteFailureSignals();
#ifdef _WIN32
  const bool lineMayBeOpen = true;
#else
  const bool lineMayBeOpen = isatty(STDOUT_FILENO) != 0 || isatty(STDERR_FILENO) != 0;
#endif
  const std::string lineEnd = lineMayBeOpen ? "\n" : "";
  g_nothingSentText =
      lineEnd + programName + ": interrupted before the download: nothing was sent to the drive\n";
  g_warningText = lineEnd + warning + "\n";
  g_commandPendingText =
      lineEnd + programName +
      ": interrupted before the download command ended: the drive may be writing the image.\n" +
      programName +
      ": Do not switch the machine off. Wait a few minutes, then check the drive's revision "
      "with 'qtr5-download --list' and reboot.\n";
  g_acknowledgePrefix = lineEnd + programName + ": interrupted: ";
  g_awaited.store(0);
  g_downloadEnded.store(false);
  g_signalCount.store(0);
  g_firstSignal.store(0);
  g_phase.store(static_cast<int>(RunPhase::kBeforeDownload));
  g_summary.store(nullptr);
  static bool installed = false;
  if (installed) return;
  installed = true;
#ifdef _WIN32
  g_wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) == 0) qtr5::SetWakeDescriptor(g_wakePipe[0]);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  AnswerStopSignals(action);
#endif
}

void SetRunPhase(RunPhase phase, bool warn) {
  g_warnAfterOutcome.store(warn);
  int current = g_phase.load();
  while (current != kEnding && !g_phase.compare_exchange_weak(current, static_cast<int>(phase))) {
  }
}

bool EnterDownloadPhase() {
  SetRunPhase(RunPhase::kDownloading);
  return g_phase.load() != kEnding;
}

int InterruptionSignal() {
  return g_firstSignal.load();
}

void NoteAwaitedCommand(AwaitedCommand command, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  g_awaitedUntil.store(
      std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count());
  g_awaited.store(static_cast<int>(command));
}

void NoteDownloadCommandEnded() {
  g_downloadEnded.store(true);
}

bool WaitUntilTick(std::uint32_t deadline, const WaitPump& pump) {
  if (InterruptionSignal() != 0) return false;
#ifdef _WIN32
  for (;;) {
    const auto left = static_cast<LONG>(deadline - qtr5::TickCount());
    if (left <= 0) return true;
    if (!WaitForWake(qtr5::RealMilliseconds(static_cast<std::uint32_t>(left)), pump)) return false;
  }
#else
  qtr5::Clock& clock = qtr5::CurrentClock();
  if (!pump) return clock.WaitForTick(deadline) && InterruptionSignal() == 0;
  // In slices, so that the pump answers the windows meanwhile.
  for (;;) {
    pump();
    const std::uint32_t now = clock.TickCount();
    const auto left = static_cast<std::int32_t>(deadline - now);
    if (left <= 0) return InterruptionSignal() == 0;
    const std::uint32_t step = now + static_cast<std::uint32_t>(std::min<std::int32_t>(
                                         left, static_cast<std::int32_t>(kPumpIntervalMs)));
    if (!clock.WaitForTick(step) || InterruptionSignal() != 0) return false;
  }
#endif
}

bool InterruptibleSleep(std::uint32_t milliseconds, const WaitPump& pump) {
  if (InterruptionSignal() != 0) return false;
#ifdef _WIN32
  return WaitForWake(qtr5::RealMilliseconds(milliseconds), pump) && InterruptionSignal() == 0;
#else
  if (pump) return WaitUntilTick(qtr5::TickCount() + milliseconds, pump);
  qtr5::SleepMilliseconds(milliseconds);
  return InterruptionSignal() == 0;
#endif
}

void PublishInterruptionSummary(const std::string& summary) {
  std::string* current = g_summary.load();
  if (current == kSummaryTaken || (current != nullptr && *current == summary)) return;
  auto* text = new std::string(summary);
  // Lost to the handler or the run's end meanwhile: the text is not needed.
  if (!g_summary.compare_exchange_strong(current, text)) {
    delete text;
    return;
  }
  // Replaced texts stay where a handler may still be reading them; kept here
  // so that they are not lost either.
  static auto* const published = new std::vector<std::string*>();
  published->push_back(text);
}

bool TakeInterruptionSummary() {
  return g_summary.exchange(kSummaryTaken) != kSummaryTaken;
}
