// Which transport the Windows program uses, chosen once at start-up:
// the ASPI service when wnaspi32.dll is installed and reports at least one
// host adapter, otherwise the SCSI Pass Through Interface.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_provider.h"
#include "aspi/diagnostic_sink.h"
#include "transports/windows/spti_system.h"

struct WindowsTransport {
  std::unique_ptr<AspiProvider> provider;
  // "ASPI (wnaspi32.dll)" or "SCSI pass-through".
  std::string name;
  // Why the pass-through was chosen, and devices that could not be used;
  // empty when the ASPI service is used.
  std::vector<std::string> notes;
  // Whether Windows has refused the pass-through a device or a request for
  // want of administrator rights (so far: it is asked again after the scan);
  // always false for the ASPI service.
  std::function<bool()> accessDenied = [] { return false; };
};

inline constexpr const char* kAspiTransportName = "ASPI (wnaspi32.dll)";
inline constexpr const char* kPassThroughTransportName = "SCSI pass-through";

WindowsTransport ChooseWindowsTransport(const char* aspiLibrary = "wnaspi32.dll",
                                        spti::SptiSystem system = spti::SptiSystem::Real());

// "transport: <name>" and one line per note, each ended by a line break.
std::string DescribeTransport(const WindowsTransport& transport);

// For the program's transport choice: the chosen provider, with what
// DescribeTransport says about it in `diagnostics`. The pass-through tells
// its failures during the run to `messages`, each line after the program's
// name ("qtr5-download: \\.\CdRom0: the device has gone away.").
// `accessDenied` gets the provider's WindowsTransport::accessDenied, valid
// while the provider lives.
std::unique_ptr<AspiProvider> CreateWindowsProvider(std::string& diagnostics,
                                                    DiagnosticSink messages,
                                                    std::function<bool()>& accessDenied);
