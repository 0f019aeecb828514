// The two entry points of the ASPI for Win32 service, and the provider that
// answers them. A provider is chosen once at start-up, as loading the
// service's library would: the emulated bus, the Linux SCSI generic driver,
// the Windows service or its pass-through fallback, or a recorded session.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "aspi/wnaspi32.h"

class AspiProvider {
 public:
  virtual ~AspiProvider() = default;
  // Bits 8-15: SS_COMP when ready, else another status; bits 0-7: adapter count.
  virtual aspi::DWORD GetSupportInfo() = 0;
  // Takes an SRB_ExecSCSICmd, SRB_Abort or SRB_BusDeviceReset (by SRB_Cmd).
  // For SRB_ExecSCSICmd: when this returns, SRB_Status is SS_PENDING or final;
  // data and sense bytes are in place before the final status is stored.
  // A provider that finishes a command on another thread stores
  // SenseArea[0] and then SRB_Status with StoreSrbByte (aspi/srb_access.h),
  // after every other byte it writes, and calls SRB_PostProc after that.
  virtual aspi::DWORD SendCommand(void* srb) = 0;
  // A short name for messages ("emulated", "sg", "aspi", "spti", "replay").
  virtual const char* Name() const = 0;

  // Names of the device at adapter:target that stay the same when adapter
  // numbers shift, as the user may give them to --device (on Linux the sg
  // node and the kernel's host:channel:id:lun); none when the transport has
  // no such names or no device is there. No request is sent.
  virtual std::vector<std::string> DeviceNames(aspi::BYTE /*adapter*/,
                                               aspi::BYTE /*target*/) const {
    return {};
  }
  // What the system learned of the device at adapter:target when it found
  // it, without a command of this program (on Linux sysfs's device type,
  // vendor and model): `known` is false when the transport cannot tell.
  struct KnownDevice {
    bool known = false;
    int type = -1;                 // SCSI peripheral device type (5: CD/DVD)
    std::string vendorAndProduct;  // e.g. "QTR5 CD-ROM XPM-3177K"
  };
  virtual KnownDevice KnownIdentity(aspi::BYTE /*adapter*/, aspi::BYTE /*target*/) const {
    return {};
  }
  // The adapter and target of the device that one of those names names.
  virtual bool FindDevice(std::string_view /*name*/, aspi::BYTE& /*adapter*/,
                          aspi::BYTE& /*target*/) const {
    return false;
  }
  // What the provider will not be able to keep away from the drive at
  // adapter:target while it rewrites its firmware, with the program's
  // rights, as one sentence for the user before the download; empty when
  // nothing (or the transport has nothing to keep away). No request is sent.
  virtual std::string GuardLimits(aspi::BYTE /*adapter*/, aspi::BYTE /*target*/) const {
    return {};
  }
};

// Installs the provider that answers the entry points; nullptr removes it
// (the entry points then answer as an absent service). Not owned.
void InstallAspiProvider(AspiProvider* provider);
AspiProvider* InstalledAspiProvider();

// The entry points, as the service exports them (ordinals 1 and 2).
aspi::DWORD GetASPI32SupportInfo();
aspi::DWORD SendASPI32Command(void* srb);
