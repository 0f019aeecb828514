// The SCSI generic provider: adapters and targets from sysfs, commands through
// the pass-through call, outcomes copied into the request block.
#include "transports/linux/sg_provider.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "aspi/command_time_limits.h"
#include "aspi/download_opcode.h"
#include "aspi/request_executor.h"
#include "aspi/srb_access.h"
#include "transports/linux/drive_guard.h"
#include "transports/linux/sg_devices.h"
#include "transports/linux/sg_outcome.h"

namespace {

using sg::Adapter;
using sg::DataDirection;
using sg::Target;

// A command interrupted by a signal is sent again, a limited number of times.
constexpr int kInterruptRetries = 8;
// Room for the longest sense data a device may return.
constexpr int kSenseCapacity = 252;
class SgProvider final : public AspiProvider, private CommandRunner {
 public:
  SgProvider(const SgProviderOptions& options, std::string& diagnostics)
      : system_(options.system ? options.system
                               : std::shared_ptr<sg::SgSystem>(sg::CreateLinuxSgSystem())),
        messages_(options.messages),
        sysfsRoot_(options.sysfsRoot),
        devRoot_(options.devRoot) {
    diagnostics.clear();
    adapters_ = sg::DiscoverDevices(*system_, sysfsRoot_, devRoot_, diagnostics, accessDenied_);
  }

  bool AccessDenied() const { return accessDenied_; }

  ~SgProvider() override {
    for (Adapter& adapter : adapters_) {
      for (auto& [id, target] : adapter.targets) {
        target.guard.reset();
        system_->Close(target.fd);
      }
    }
  }

  aspi::DWORD GetSupportInfo() override {
    // The service itself is always ready; without usable devices it offers
    // no adapter (and the diagnostics say why).
    const std::size_t count = std::min<std::size_t>(adapters_.size(), 255);
    return (static_cast<aspi::DWORD>(SS_COMP) << 8) | static_cast<aspi::DWORD>(count);
  }

  aspi::DWORD SendCommand(void* request) override { return ExecuteRequest(*this, request); }

  const char* Name() const override { return "sg"; }

  std::vector<std::string> DeviceNames(aspi::BYTE ha, aspi::BYTE id) const override {
    if (ha >= adapters_.size()) return {};
    auto it = adapters_[ha].targets.find(id);
    if (it == adapters_[ha].targets.end()) return {};
    return {it->second.path, sg::FormatAddress(it->second.node.address)};
  }

  std::string GuardLimits(aspi::BYTE ha, aspi::BYTE id) const override {
    if (ha >= adapters_.size()) return {};
    auto it = adapters_[ha].targets.find(id);
    if (it == adapters_[ha].targets.end()) return {};
    return sg::DriveGuard(*system_, sysfsRoot_, devRoot_, it->second.node.name).Limits();
  }

  KnownDevice KnownIdentity(aspi::BYTE ha, aspi::BYTE id) const override {
    KnownDevice known;
    if (ha >= adapters_.size()) return known;
    auto it = adapters_[ha].targets.find(id);
    if (it == adapters_[ha].targets.end()) return known;
    known.known = true;
    known.type = it->second.node.type;
    known.vendorAndProduct = it->second.node.vendorAndModel;
    return known;
  }

  // "/dev/sg3", "sg3" or "2:0:3:0": names that follow the device, not the
  // order of the hosts.
  bool FindDevice(std::string_view name, aspi::BYTE& ha, aspi::BYTE& id) const override {
    for (std::size_t a = 0; a < adapters_.size() && a <= 0xFF; ++a) {
      for (const auto& [number, target] : adapters_[a].targets) {
        if (number > 7) continue;  // beyond the targets the program addresses
        if (name == target.path || name == target.node.name || name == "/dev/" + target.node.name ||
            name == sg::FormatAddress(target.node.address)) {
          ha = static_cast<aspi::BYTE>(a);
          id = static_cast<aspi::BYTE>(number);
          return true;
        }
      }
    }
    return false;
  }

 private:
  int OpenShared(Target& target) { return sg::OpenTarget(*system_, target, false); }
  int OpenAs(Target& target, bool exclusive) { return sg::OpenTarget(*system_, target, exclusive); }

  Target* FindTarget(aspi::BYTE ha, aspi::BYTE id) {
    if (ha >= adapters_.size()) return nullptr;
    auto it = adapters_[ha].targets.find(id);
    return it == adapters_[ha].targets.end() ? nullptr : &it->second;
  }

  int AdapterCount() const override { return static_cast<int>(adapters_.size()); }

  bool HasTarget(aspi::BYTE ha, aspi::BYTE id) const override {
    return ha < adapters_.size() && adapters_[ha].targets.count(id) != 0;
  }

  static CommandVerdict Verdict(aspi::BYTE status, aspi::BYTE haStat = HASTAT_OK) {
    CommandVerdict verdict;
    verdict.status = status;
    verdict.haStat = haStat;
    return verdict;
  }

  static std::string Opcode(std::uint8_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", code);
    return text;
  }

  // A device that may be the drive, refused for want of rights.
  void NoteDenial(const Target& target, bool denied) {
    if (denied && sg::MayBeTheDrive(target)) accessDenied_ = true;
  }

  void Tell(const Target& target, const std::string& text) {
    ::Tell(messages_, sg::Describe(target) + ": " + text);
  }

  CommandVerdict RunCommand(const CommandRequest& request) override {
    Target* target = FindTarget(request.adapter, request.target);
    if (target->lost) return Verdict(SS_ERR, HASTAT_SEL_TO);
    if (target->abandoned) {
      // Not sent, so not timed out either: a download refused here did not
      // reach the drive.
      Tell(*target, "the command " + Opcode(request.cdb[0]) +
                        " is not sent: the drive has not answered an earlier command.");
      return Verdict(SS_ABORTED);
    }
    if (request.download && !target->exclusive) {
      if (const int error = OpenAs(*target, true); error != 0) {
        Tell(*target, error == EBUSY
                          ? "another program has the drive open, so it cannot be held "
                            "exclusively; the download command is not sent."
                          : "the drive cannot be opened exclusively (" +
                                (error == -1 ? std::string("it answers as another device")
                                             : std::string(std::strerror(error))) +
                                "); the download command is not sent.");
        OpenShared(*target);
        return Verdict(SS_ERR);
      }
    } else if (const int error = OpenShared(*target); error != 0) {
      NoteDenial(*target, error == EACCES || error == EPERM);
      if (error == -1) {
        target->lost = true;
        Tell(*target, "the node now belongs to another device; no command is sent to it.");
      }
      return error == ENOENT ? Verdict(SS_NO_DEVICE, HASTAT_SEL_TO) : Verdict(SS_ERR);
    }
    if (request.length > 0 && !TransferFits(*target, request.length)) {
      return Verdict(SS_BUFFER_TO_BIG);
    }
    if (request.download && target->guard == nullptr) {
      // Before the download command: taking the block device makes the
      // kernel ask the drive for media events once.
      target->guard =
          std::make_unique<sg::DriveGuard>(*system_, sysfsRoot_, devRoot_, target->node.name);
      target->guard->Engage([this, target](const std::string& line) { Tell(*target, line); });
    }
    return Run(request, *target,
               request.direction == CommandDirection::kIn    ? DataDirection::kIn
               : request.direction == CommandDirection::kOut ? DataDirection::kOut
                                                             : DataDirection::kNone);
  }

  // The kernel refuses (or would have to split) a transfer beyond the
  // device's limit; such a command is not sent at all.
  bool TransferFits(Target& target, std::uint32_t length) {
    long limit = target.sysfsLimit;
    if (limit < 0) limit = system_->MaxTransferBytes(target.fd);
    if (limit < 0 || static_cast<unsigned long>(limit) >= length) return true;
    Tell(target, "the kernel allows at most " + std::to_string(limit) +
                     " bytes in one transfer to this device, but the command needs " +
                     std::to_string(length) + "; nothing was sent.");
    return false;
  }

  CommandVerdict Run(const CommandRequest& command, Target& target, DataDirection direction) {
    const auto limit = CommandTimeLimit(command.cdb);
    const auto seconds = std::max<long long>(1, (limit.count() + 999) / 1000);
    std::uint8_t sense[kSenseCapacity];
    sg::PassThroughRequest request;
    request.fd = target.fd;
    request.cdb = command.cdb;
    request.cdbLength = static_cast<int>(command.cdbLength);
    request.direction = direction;
    request.data = command.data;
    request.length = command.length;
    request.sense = sense;
    request.senseCapacity = kSenseCapacity;
    request.timeoutSeconds = static_cast<int>(std::min<long long>(seconds, 0x7FFFFFFF));
    // The program's own deadline, the same as AspiDevice::ExecuteWait's: the
    // kernel's timeout does not bound the call (a host answering "busy" has
    // its command requeued past it).
    const auto wait = limit + CommandWaitGrace();
    request.waitMilliseconds = wait.count();

    sg::Verdict verdict;
    for (int attempt = 0;; ++attempt) {
      std::memset(sense, 0, sizeof sense);
      const sg::PassThroughResult result = system_->PassThrough(request);
      verdict = sg::JudgePassThrough(result, direction, command.length, sense);
      verdict.senseBytes = std::min(verdict.senseBytes, kSenseCapacity);
      // A command without data out is harmless to repeat. One with data out
      // (the download) may already have reached the drive when the call was
      // interrupted, and is not sent a second time.
      if (!verdict.interrupted || direction == DataDirection::kOut ||
          attempt >= kInterruptRetries) {
        break;
      }
    }

    NoteDenial(target, verdict.accessDenied);
    CommandVerdict outcome = Verdict(verdict.status, verdict.haStat);
    outcome.targStat = verdict.targStat;
    outcome.sense.assign(sense, sense + std::max(verdict.senseBytes, 0));
    outcome.residualKnown = true;
    outcome.residual = verdict.residual;

    if (verdict.abandoned) {
      // The command is still in the kernel. Nothing more is sent to the
      // device: its late answer must not be taken for another command's, and
      // a drive that took the download may be reprogramming itself. The
      // descriptor stays open, so a download's exclusive hold lasts for the
      // rest of the run; it is closed with the provider, which does not
      // wait: the sg driver finishes or times out the command by itself and
      // drops its answer. The program neither aborts nor resets it (the sg
      // driver has no abort of one command, and a reset while the drive
      // rewrites its firmware could leave it without any).
      target.abandoned = true;
      Tell(target, "the command " + Opcode(command.cdb[0]) + " did not end within " +
                       std::to_string((wait.count() + 999) / 1000) +
                       " s; the program stopped waiting for it and sends nothing more to this "
                       "drive.");
    } else if (verdict.deviceLost) {
      // Never reopened by name: /dev/sgN may come back as another device.
      system_->Close(target.fd);
      target.fd = -1;
      target.exclusive = false;
      target.lost = true;
      Tell(target, "the device has gone away; no further command is sent to it.");
    } else if (verdict.timedOut) {
      Tell(target, "the command " + Opcode(command.cdb[0]) + " did not end within " +
                       std::to_string(seconds) + " s and counts as failed.");
    } else if (verdict.interrupted && direction == DataDirection::kOut) {
      Tell(target,
           "the command was interrupted after it was handed to the driver; it is not "
           "sent again, since the drive may already be working on it.");
    } else if (verdict.status != SS_COMP && (command.download || verdict.accessDenied)) {
      Tell(target, verdict.problem + ".");
    }
    return outcome;
  }

  aspi::BYTE ResetTarget(aspi::BYTE ha, aspi::BYTE id, aspi::BYTE& haStat) override {
    Target* target = FindTarget(ha, id);
    if (target->lost || target->abandoned || OpenShared(*target) != 0) {
      haStat = HASTAT_SEL_TO;
      return SS_ERR;
    }
    return system_->ResetDevice(target->fd) == 0 ? SS_COMP : SS_ERR;
  }

  std::shared_ptr<sg::SgSystem> system_;
  DiagnosticSink messages_;
  std::string sysfsRoot_;
  std::string devRoot_;
  std::vector<Adapter> adapters_;
  bool accessDenied_ = false;
};

}  // namespace

bool SgAccessDenied(const AspiProvider& provider) {
  const auto* sg = dynamic_cast<const SgProvider*>(&provider);
  return sg != nullptr && sg->AccessDenied();
}

std::unique_ptr<AspiProvider> CreateSgProvider(std::string& diagnostics) {
  return CreateSgProvider(SgProviderOptions{}, diagnostics);
}

std::unique_ptr<AspiProvider> CreateSgProvider(const SgProviderOptions& options,
                                               std::string& diagnostics) {
  return std::make_unique<SgProvider>(options, diagnostics);
}
