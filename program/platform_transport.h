// The machine's own transport to real drives, one implementation per
// platform: the SCSI generic driver on Linux, the ASPI service or the SCSI
// pass-through on Windows, none elsewhere. The build links the one that
// fits (program/CMakeLists.txt); nothing else in the program asks which.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "aspi/aspi_provider.h"
#include "aspi/diagnostic_sink.h"

struct PlatformTransport {
  // Null when this build has no transport to real drives.
  std::unique_ptr<AspiProvider> provider;
  // What it found when it looked for devices (why no adapter, which devices
  // it cannot use), one per line, for the user's error output and for a
  // recording of the run.
  std::string diagnostics;
  // Whether the system refused the transport a device that may be the
  // drive for want of rights (Linux: EACCES or EPERM on its sg node;
  // Windows' pass-through: access denied); valid while the provider lives.
  std::function<bool()> accessDenied = [] { return false; };
};

// Opens the platform's transport; what it tells during the run (a lost
// device, a timeout) goes to `messages`.
PlatformTransport OpenPlatformTransport(DiagnosticSink messages);
