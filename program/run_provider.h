// RunProvider: the provider that answers the two ASPI entry points for this
// run, chosen once from the options: a recorded session (--replay), an
// emulated bus (--emulate), or the machine's own transport
// (platform_transport.h); and, with --record, a recorder around it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "aspi/aspi_provider.h"

struct ProgramOptions;
class ProgramFrontEnd;
class EmulatedBus;
class ReplayProvider;
class CapturedMessages;

class RunProvider {
 public:
  RunProvider();
  ~RunProvider();  // uninstalls the provider before releasing it
  RunProvider(const RunProvider&) = delete;
  RunProvider& operator=(const RunProvider&) = delete;

  // Builds what the options ask for. False with `problem` set when an option
  // value cannot be used (a malformed layout, a state folder or a recording
  // that cannot be opened): a usage error. Diagnostics of the real transport
  // (why it found no adapter) go to the front end's error output; what the
  // providers tell during the run goes to the front end's TransportSink.
  bool Open(const ProgramOptions& options, ProgramFrontEnd& frontEnd, std::string& problem);

  // Installs the chosen provider as the one behind the entry points.
  void Install();

  // The emulated bus, when one is in use; else nullptr.
  EmulatedBus* Bus() const { return bus_; }

  // With --replay: whether the run left the recording, and how many of its
  // commands were never sent. Nothing without --replay.
  struct ReplayState {
    bool diverged = false;
    std::size_t notSent = 0;
  };
  std::optional<ReplayState> Replay() const;

  // Whether the transport was refused access to a device that may be the
  // drive for want of rights (the machine's transport on Linux and
  // Windows' pass-through; an emulated bus laid out as 'denied'); false
  // otherwise.
  bool AccessDenied() const { return accessDenied_ && accessDenied_(); }

 private:
  // With --record: the machine's transport's lines for the user, kept for the
  // recording as they are shown. Outlives the providers that write to it.
  std::unique_ptr<CapturedMessages> captured_;
  std::unique_ptr<AspiProvider> base_;
  std::unique_ptr<AspiProvider> recorder_;
  EmulatedBus* bus_ = nullptr;
  ReplayProvider* replay_ = nullptr;
  AspiProvider* active_ = nullptr;
  bool installed_ = false;
  std::function<bool()> accessDenied_;
};
