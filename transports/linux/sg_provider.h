// The ASPI entry points over the Linux SCSI generic driver.
//
// Host adapters are the SCSI hosts that have SCSI generic devices, numbered
// 0, 1, ... in ascending host number; the target of a request is the device
// at channel 0, that target id, LUN 0 of that host (/sys/class/scsi_generic/
// sgN/device names "host:channel:target:lun"). A target without a device
// answers SS_NO_DEVICE with a selection timeout, as an empty target of a real
// bus does. Every command is written to /dev/sgN (read-write, non-blocking)
// through the sg driver's asynchronous interface, with the kernel timeout
// CommandTimeLimit gives its command block (INQUIRY 10 s, START STOP UNIT
// 30 s, the download command 5 minutes, anything else 60 s; rounded up to
// whole seconds), and awaited until that limit plus CommandWaitGrace: the
// program's own deadline, which holds whatever the kernel does. A command
// still running then counts as failed and is left to the kernel, and nothing
// more is sent to that device in this run. The final status is stored when
// SendCommand returns. A command that times out at the host, a device that
// is gone (ENODEV, ENXIO) or refused access (EACCES) fail; a command
// interrupted by a signal (EINTR) is sent again, except one with data out,
// which may already have reached the drive.
//
// From the download command (operation code 0x55) on, the provider holds
// that target open exclusively (O_EXCL) for the rest of the run, so that no
// second copy of the program can send to the drive while it reprograms itself
// and is verified, and its drive guard (drive_guard.h) pauses the kernel's
// media polling of the drive and holds its block device until the provider
// goes. A device that vanishes is never opened again by its old name, since
// the name may by then belong to another device.
#pragma once

#include <memory>
#include <string>

#include "aspi/aspi_provider.h"
#include "aspi/diagnostic_sink.h"
#include "transports/linux/sg_system.h"

struct SgProviderOptions {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  // The system calls; null means the real ones (libsgutils2, open, ioctl).
  std::shared_ptr<sg::SgSystem> system;
  // Where failures the user must know about during the run are told (a
  // lost device, a timeout, a refused exclusive open, a transfer limit that
  // is too small, a failed download command); empty: nowhere.
  DiagnosticSink messages;
};

// Finds the SCSI generic devices and opens them. Always returns a provider;
// when no device can be used its adapter count is 0. `diagnostics` receives,
// in plain words and one line each, why no adapter was found or which
// devices cannot be used (empty when every device could be opened).
std::unique_ptr<AspiProvider> CreateSgProvider(std::string& diagnostics);
std::unique_ptr<AspiProvider> CreateSgProvider(const SgProviderOptions& options,
                                               std::string& diagnostics);

// Whether the system refused the provider a device that may be the drive (a
// CD/DVD device, or one of unknown type, at target 0 to 7) for want of
// rights: EACCES or EPERM when it was opened or given a command. Such a run
// did not find "no drive": it could not look. False for other providers.
bool SgAccessDenied(const AspiProvider& provider);
