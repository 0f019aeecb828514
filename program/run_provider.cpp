#include "program/run_provider.h"

#include <algorithm>
#include <string_view>

#include "program/options.h"
#include "program/platform_transport.h"
#include "program/program_front_end.h"
#include "text/printable.h"
#include "transports/emulated/emulated_bus.h"
#include "transports/recording/captured_messages.h"
#include "transports/recording/recording_provider.h"
#include "transports/recording/replay_provider.h"
#include "transports/recording/session_format.h"

namespace {

// A line of the machine's own transport: printable, but its backslashes are
// the device paths' own (\\.\CdRom0), not to be doubled.
std::string MachineText(std::string_view line) {
  std::string text;
  for (std::size_t start = 0; start <= line.size();) {
    const std::size_t slash = std::min(line.find('\\', start), line.size());
    text += PrintableText(line.substr(start, slash - start));
    if (slash < line.size()) text += '\\';
    start = slash + 1;
  }
  return text;
}

// Each line of a block of diagnostics, as lines of their own, each after
// `prefix` and made printable (a recording may hold any bytes).
void PrintLines(ProgramFrontEnd& frontEnd, std::string_view text, const std::string& prefix = "",
                std::string (*printable)(std::string_view) = PrintableText) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) frontEnd.PrintError(prefix + printable(line));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

RunProvider::RunProvider() = default;

RunProvider::~RunProvider() {
  if (installed_) InstallAspiProvider(nullptr);
  recorder_.reset();
  base_.reset();
}

bool RunProvider::Open(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                       std::string& problem) {
  // Why the machine's transport found no adapter, or which devices it
  // cannot use.
  std::string transportDiagnostics;
  // Every provider tells the user through the one sink the front end gives.
  DiagnosticSink sink = frontEnd.TransportSink();
  if (options.replay) {
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
    accessDenied_ = [bus = bus_] { return bus->AccessDenied(); };
    base_ = std::move(bus);
  } else {
    // With --record the transport's lines are kept for the recording as
    // they are shown.
    DiagnosticSink messages = sink;
    if (options.record) {
      captured_ = std::make_unique<CapturedMessages>(sink);
      messages = captured_->Sink();
    }
    PlatformTransport platform = OpenPlatformTransport(std::move(messages));
    PrintLines(frontEnd, platform.diagnostics, "", MachineText);
    transportDiagnostics = std::move(platform.diagnostics);
    accessDenied_ = std::move(platform.accessDenied);
    base_ = std::move(platform.provider);
  }

  active_ = base_.get();
  if (options.record) {
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
  }
  return true;
}

std::optional<RunProvider::ReplayState> RunProvider::Replay() const {
  if (replay_ != nullptr) return ReplayState{replay_->Diverged(), replay_->Remaining()};
  return std::nullopt;
}

void RunProvider::Install() {
  // With no provider at all the entry points answer as an absent service.
  InstallAspiProvider(active_);
  installed_ = true;
}
