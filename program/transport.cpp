#include "program/transport.h"

#include <sstream>
#include <string_view>

#include "program/options.h"
#include "program/program.h"
#include "text/printable.h"
#include "transports/emulated/emulated_bus.h"

#if QTR5_HAVE_SG_PROVIDER
#include "transports/linux/sg_provider.h"
#endif
#if QTR5_HAVE_WINDOWS_PROVIDER
#include "transports/windows/windows_transport.h"
#endif
#if QTR5_HAVE_RECORDING
#include "transports/recording/captured_messages.h"
#include "transports/recording/recording_provider.h"
#include "transports/recording/replay_provider.h"
#include "transports/recording/session_format.h"
#endif

namespace {

// Each line of a block of diagnostics, as lines of their own, each after
// `prefix` and made printable (a recording may hold any bytes).
[[maybe_unused]] void PrintLines(ProgramFrontEnd& frontEnd, std::string_view text,
                                 const std::string& prefix = "") {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) frontEnd.PrintError(prefix + PrintableText(line));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

Transport::Transport() = default;

Transport::~Transport() {
  if (installed_) InstallAspiProvider(nullptr);
  recorder_.reset();
  base_.reset();
}

bool Transport::Open(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                     std::string& problem) {
  // Why the real transport found no adapter, or which devices it cannot use.
  [[maybe_unused]] std::string transportDiagnostics;
  // Every provider tells the user through the one sink the front end gives.
  [[maybe_unused]] DiagnosticSink sink = frontEnd.TransportSink();
  if (options.replay) {
#if QTR5_HAVE_RECORDING
    std::string error;
    // The lines a replay repeats come from a file: printable, as device text.
    const DiagnosticSink printable = [sink](std::string_view line) {
      Tell(sink, PrintableText(line));
    };
    std::unique_ptr<ReplayProvider> replay =
        ReplayProvider::Open(options.replayPath, error, printable);
    if (!replay) {
      problem = "--replay " + options.replayPath + ": " + error;
      return false;
    }
    replay_ = replay.get();
    // What the recorded run's transport said when it looked for devices.
    PrintLines(frontEnd, replay_->Diagnostics(), recording::kReplayedPrefix);
    base_ = std::move(replay);
#else
    problem = "--replay is not available in this build";
    return false;
#endif
  } else if (options.emulate) {
    std::string error;
    std::unique_ptr<EmulatedBus> bus = EmulatedBus::FromLayout(options.emulateLayout, error);
    if (!bus) {
      problem = "--emulate=" + options.emulateLayout + ": " + error;
      return false;
    }
    if (options.emulateState && !bus->SetStateDirectory(options.emulateStateDir, error)) {
      problem = "--emulate-state " + options.emulateStateDir + ": " + error;
      return false;
    }
    bus_ = bus.get();
    base_ = std::move(bus);
  } else {
#if QTR5_HAVE_SG_PROVIDER
    std::string diagnostics;
    SgProviderOptions sgOptions;
    sgOptions.messages = sink;
#if QTR5_HAVE_RECORDING
    if (options.record) {
      captured_ = std::make_unique<CapturedMessages>(sink);
      sgOptions.messages = captured_->Sink();
    }
#endif
    base_ = CreateSgProvider(sgOptions, diagnostics);
    PrintLines(frontEnd, diagnostics);
    transportDiagnostics = diagnostics;
#elif QTR5_HAVE_WINDOWS_PROVIDER
    std::string diagnostics;
    base_ = CreateWindowsProvider(diagnostics, sink, accessDenied_);
    PrintLines(frontEnd, diagnostics);
#else
    frontEnd.PrintError("This build has no transport to real drives; try --emulate");
#endif
  }

  active_ = base_.get();
  if (options.record) {
#if QTR5_HAVE_RECORDING
    std::string error;
    if (active_ != nullptr)
      recorder_ = RecordingProvider::Create(*active_, options.recordPath, error, sink);
    if (!recorder_) {
      problem = "--record " + options.recordPath + ": " + error;
      return false;
    }
    auto* recorder = static_cast<RecordingProvider*>(recorder_.get());
    recorder->AttachMessages(captured_.get());
    recorder->SetDiagnostics(transportDiagnostics);
    active_ = recorder_.get();
#else
    problem = "--record is not available in this build";
    return false;
#endif
  }
  return true;
}

std::optional<Transport::ReplayState> Transport::Replay() const {
#if QTR5_HAVE_RECORDING
  if (replay_ != nullptr) return ReplayState{replay_->Diverged(), replay_->Remaining()};
#endif
  return std::nullopt;
}

void Transport::Install() {
  // With no provider at all the entry points answer as an absent service.
  InstallAspiProvider(active_);
  installed_ = true;
}
