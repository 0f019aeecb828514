#include "transports/linux/sg_devices.h"

#include <cerrno>
#include <cstring>

namespace sg {

namespace {

// The SCSI peripheral device type of CD/DVD devices, the only kind the
// program may flash.
constexpr int kTypeCdDvd = 5;

std::string OpenProblem(const Target& target, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return Describe(target) +
             " needs read and write access (permission denied): give your user access to it "
             "with the example udev rule 60-qtr5-download.rules (see README.drive-access.md), "
             "or run the terminal program qtr5-download as root (sudo); never the desktop "
             "program.";
    case ENOENT:
      return Describe(target) + " does not exist: its device node is missing.";
    case EBUSY:
      return Describe(target) +
             " is held exclusively by another program (perhaps another copy of this one).";
    default:
      return Describe(target) + " cannot be opened: " + std::strerror(error) + ".";
  }
}

}  // namespace

bool MayBeTheDrive(const Target& target) {
  return target.node.type == kTypeCdDvd || target.node.type < 0;
}

std::string Describe(const Target& target) {
  return target.path + " (" + FormatAddress(target.node.address) + ")";
}

int OpenTarget(SgSystem& system, Target& target, bool exclusive) {
  if (target.fd >= 0 && (target.exclusive || !exclusive)) return 0;
  system.Close(target.fd);
  target.fd = -1;
  target.exclusive = false;
  const int fd = system.Open(target.path, exclusive);
  if (fd < 0) return -fd;
  ScsiAddress actual;
  if (system.GetScsiAddress(fd, actual) != 0 || !(actual == target.node.address)) {
    system.Close(fd);
    return -1;
  }
  target.fd = fd;
  target.exclusive = exclusive;
  return 0;
}

std::vector<Adapter> DiscoverDevices(SgSystem& system, const std::string& sysfsRoot,
                                     const std::string& devRoot, std::string& diagnostics,
                                     bool& accessDenied) {
  std::vector<Adapter> adapters;
  const SgTopology topology = ReadSgTopology(sysfsRoot);
  std::vector<std::string> notes;
  if (!topology.classPresent) {
    diagnostics =
        "No SCSI generic devices: " + sysfsRoot +
        "/class/scsi_generic does not exist, so the Linux sg driver is not loaded. Load it "
        "with \"modprobe sg\" as root, then start the program again.";
    return adapters;
  }
  for (const std::string& entry : topology.unreadable) {
    notes.push_back("Cannot tell the SCSI address of " + entry + ".");
  }
  std::vector<std::string> skipped;
  for (const SgNode& node : topology.nodes) {
    if (adapters.empty() || adapters.back().host != node.address.host) {
      adapters.push_back(Adapter{node.address.host, {}});
    }
    if (node.address.channel != 0 || node.address.lun != 0) {
      skipped.push_back(node.name + " at " + FormatAddress(node.address));
      continue;
    }
    Target target;
    target.node = node;
    target.path = devRoot + "/" + node.name;
    target.sysfsLimit = SysfsMaxTransferBytes(sysfsRoot, node);
    adapters.back().targets.emplace(node.address.target, std::move(target));
  }
  // ASPI addresses targets 0 to 7; a drive with a higher id cannot be
  // reached, but the user must hear that it is there. Only devices that
  // may be the drive are named (a large disk array would fill the screen).
  for (const Adapter& adapter : adapters) {
    for (const auto& [id, target] : adapter.targets) {
      if (id > 7 && MayBeTheDrive(target)) {
        notes.push_back(Describe(target) + " is at SCSI target id " + std::to_string(id) +
                        "; the program addresses targets 0 to 7 only, so it cannot reach "
                        "this device.");
      }
    }
  }
  std::size_t usable = 0;
  std::size_t addressable = 0;
  // Devices that cannot be used, and those of them that may be the drive.
  std::vector<std::string> unusable;
  std::vector<std::string> unusableCd;
  for (Adapter& adapter : adapters) {
    for (auto& [id, target] : adapter.targets) {
      ++addressable;
      const int error = OpenTarget(system, target, false);
      if (error == 0) {
        ++usable;
        continue;
      }
      // A node that is not the device sysfs names is never used.
      target.lost = error == -1;
      unusable.push_back(error == -1 ? Describe(target) +
                                           " answers as another SCSI device than sysfs "
                                           "names; it is left alone."
                                     : OpenProblem(target, error));
      if (MayBeTheDrive(target)) {
        unusableCd.push_back(unusable.back());
        // Only a device the program addresses (targets 0 to 7) could be used.
        accessDenied = accessDenied || ((error == EACCES || error == EPERM) && id <= 7);
      }
    }
  }
  // While some device can be used, a disk or tape that cannot is no news:
  // only CD/DVD devices (or devices of unknown type) may be the drive.
  const auto& worthTelling = usable == 0 ? unusable : unusableCd;
  notes.insert(notes.end(), worthTelling.begin(), worthTelling.end());
  if (usable == 0) {
    std::string reason;
    if (topology.nodes.empty()) {
      reason =
          "No SCSI generic devices: the sg driver is loaded but lists no device. Check that "
          "the drive is connected and powered and that the kernel sees it (lsscsi, dmesg).";
    } else if (addressable == 0) {
      reason =
          "No SCSI generic device at channel 0, LUN 0, the only addresses the program "
          "uses; found:";
      for (const std::string& entry : skipped) reason += " " + entry;
      reason += ".";
    } else {
      reason = "None of the SCSI generic devices can be used:";
    }
    notes.insert(notes.begin(), reason);
    adapters.clear();
  }
  for (std::size_t i = 0; i < notes.size(); ++i) {
    diagnostics += (i == 0 ? "" : "\n") + notes[i];
  }
  return adapters;
}

}  // namespace sg
