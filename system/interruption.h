// The run's answer to a request to stop: Ctrl-C, SIGTERM, SIGHUP and every
// other signal that would end the program (SIGQUIT, SIGUSR1, SIGALRM, ...; on
// Windows: the console's Ctrl-C, Ctrl-Break and close events).
//
// Before the download command nothing has reached the drive: a signal ends
// the program at once, with a line saying that nothing was sent. From the
// download command on, the drive may be rewriting its firmware: the first
// signal only ends the waits of the progress display and the settle delay, so
// that the flow stops early and the program can say what the drive got (a
// command the drive still holds is waited for, and the signal acknowledged
// at once); a second one ends the program at once, with the warning that
// fits: the download command had not ended, or the drive took the image.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// Where the run stands, for the signal handler.
enum class RunPhase {
  kBeforeDownload,  // nothing sent yet: a signal ends the program
  kDownloading,     // the download command may be on its way or taken
  kShownOutcome,    // the outcome is shown: a signal ends the program (with
                    // the warning when the drive took the image unverified)
};

// Ignores the signals the kernel sends a program whose write failed:
// SIGPIPE (the reader went away) and SIGXFSZ (the file size limit). The
// write then fails with EPIPE or EFBIG instead, and the program judges that
// where it writes. Every program calls this before it writes anything;
// InstallInterruptionHandlers does too. Nothing on Windows.
void IgnoreWriteFailureSignals();

// Installs the handlers (once per program; later calls only change the
// texts) and sets the phase to kBeforeDownload. `programName` starts the line
// written when a signal ends the program before the download; `warning` is
// what is written when a second signal ends it after the download command.
// Standard error gets them, after a line end when a terminal line may be
// unfinished.
void InstallInterruptionHandlers(const std::string& programName, const std::string& warning);

// The run's --json summary for a signal that ends the program from now on
// (one line, with its line end): written on standard output after the
// handler's own line on standard error. Kept until the next installation.
void PublishInterruptionSummary(const std::string& summary);
// The run writes its own summary now: a later signal is ignored, since the
// program ends by itself at once. False when a signal took the summary
// first; the program is then ending with it and the run must write nothing.
bool TakeInterruptionSummary();

// Enters kDownloading. False when a signal got there first and the program
// is ending: then nothing may be sent.
bool EnterDownloadPhase();
// Sets the phase (kDownloading only through EnterDownloadPhase). With
// kShownOutcome, `warn` says whether a signal now still needs the warning.
void SetRunPhase(RunPhase phase, bool warn = false);

// The signal that interrupted the run after the download command, 0 when
// none did.
int InterruptionSignal();

// What the run waits for from the drive in the reprogramming window, so
// that a signal meanwhile is acknowledged at once: standard error then says
// what is awaited, for how long at most, and that the machine must not be
// switched off; the run ends by itself once the command has ended.
enum class AwaitedCommand { kNone, kDownload, kVerification };
// `limit` is how long the wait for it may last from now.
void NoteAwaitedCommand(AwaitedCommand command, std::chrono::milliseconds limit);
// The download command has ended (taken, refused or given up on): from now
// on a second signal says the drive took the image, not that the command
// had not ended.
void NoteDownloadCommandEnded();

// The waits below take the front end's message pump (`pump`, may be
// empty): called on Windows whenever the thread's message queue receives
// something, elsewhere about every 20 ms, so that the windows of the thread
// are answered while the drive reprograms itself (a close request in
// particular). Without one the waits only wait.
using WaitPump = std::function<void()>;

// Waits until the tick counter (system_time.h) reaches `deadline` without
// using the processor. False when the run was interrupted (at once when it
// already was).
bool WaitUntilTick(std::uint32_t deadline, const WaitPump& pump = {});

// Waits `milliseconds` of the tick counter (the clock's Sleep); false when the
// run was interrupted.
bool InterruptibleSleep(std::uint32_t milliseconds, const WaitPump& pump = {});
