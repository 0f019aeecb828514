// The SCSI generic devices the provider uses: which of them sysfs lists at
// channel 0 and LUN 0, grouped by host into adapters, opened and checked to
// be the device sysfs names, and in plain words why none or some cannot be
// used.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "transports/linux/drive_guard.h"
#include "transports/linux/sg_system.h"
#include "transports/linux/sg_topology.h"

namespace sg {

struct Target {
  sg::SgNode node;
  std::string path;  // /dev/sgN
  int fd = -1;
  bool exclusive = false;
  bool lost = false;
  // A command was given up on while still in the kernel: nothing more is
  // sent to this device in this run (see Run).
  bool abandoned = false;
  long sysfsLimit = -1;  // bytes, -1 unknown
  // Keeps the kernel and other programs away from the drive from the
  // download command on.
  std::unique_ptr<sg::DriveGuard> guard;
};

struct Adapter {
  int host = -1;
  std::map<int, Target> targets;  // by target id: the devices at channel 0, LUN 0
};

// "/dev/sg3 (2:0:3:0)".
std::string Describe(const Target& target);

// Opens the target (exclusively when `exclusive`) unless it is open that
// way already, and makes sure the node still is the device sysfs named: 0,
// an errno value, or -1 for a device at another address.
int OpenTarget(SgSystem& system, Target& target, bool exclusive);

// Whether the device at `target` may be the drive: a CD/DVD device, or one
// whose type sysfs does not give.
bool MayBeTheDrive(const Target& target);

// Finds the devices under `sysfsRoot` (nodes under `devRoot`) and opens
// each non-exclusively. The adapters with their targets, none when no
// device can be used; `diagnostics` gets why, and which devices cannot be
// used, one line each. `accessDenied` is set when the system refused the
// program a device that may be the drive (EACCES, EPERM): with the rights
// it lacks, the run may find the drive there.
std::vector<Adapter> DiscoverDevices(SgSystem& system, const std::string& sysfsRoot,
                                     const std::string& devRoot, std::string& diagnostics,
                                     bool& accessDenied);

}  // namespace sg
