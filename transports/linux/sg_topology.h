// Which SCSI generic devices the machine has, read from sysfs: every
// /sys/class/scsi_generic/sgN names its device through the symlink
// sgN/device, whose last component is "host:channel:target:lun".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transports/linux/sg_system.h"

namespace sg {

struct SgNode {
  std::string name;  // "sg3"
  ScsiAddress address;
  int type = -1;  // the SCSI peripheral device type sysfs gives (5: CD/DVD), -1 unknown
  // Vendor and model as sysfs gives them (what the kernel's INQUIRY said when
  // it found the device), each without trailing blanks, joined by a blank.
  std::string vendorAndModel;
};

struct SgTopology {
  bool classPresent = false;  // /sys/class/scsi_generic exists (the sg module is loaded)
  std::vector<SgNode> nodes;  // sorted by host, channel, target, lun
  // Entries whose address could not be read, as "sgN: reason".
  std::vector<std::string> unreadable;
};

// Parses "H:C:T:L" (four decimal numbers); false for anything else.
bool ParseAddress(std::string_view text, ScsiAddress& address);

SgTopology ReadSgTopology(const std::string& sysfsRoot);

// The largest transfer the kernel allows for the device behind `node`, from
// sysfs: the request queue's max_hw_sectors_kb of its block device, else the
// host's max_sectors. -1 when sysfs does not tell.
long SysfsMaxTransferBytes(const std::string& sysfsRoot, const SgNode& node);

}  // namespace sg
