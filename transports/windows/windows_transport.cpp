#include "transports/windows/windows_transport.h"

#include <cstdio>

#include "transports/windows/spti_provider.h"
#include "transports/windows/wnaspi32_provider.h"

namespace {

// What GetASPI32SupportInfo's status says, in words.
const char* SupportStatusMeaning(unsigned status) {
  switch (status) {
    case SS_COMP:
      return "it is ready but counts no host adapter";
    case SS_NO_ADAPTERS:
      return "it found no host adapter";
    case SS_FAILED_INIT:
      return "it failed to initialise";
    case SS_NO_ASPI:
      return "no ASPI manager is loaded";
    case SS_MISMATCHED_COMPONENTS:
      return "its components do not match";
    case SS_INSUFFICIENT_RESOURCES:
      return "it could not allocate its resources";
    case SS_ASPI_IS_SHUTDOWN:
      return "it has been shut down";
    case SS_BAD_INSTALL:
      return "it is not installed correctly";
    default:
      return "a status the ASPI interface does not define";
  }
}

}  // namespace

WindowsTransport ChooseWindowsTransport(const char* aspiLibrary, spti::SptiSystem system) {
  WindowsTransport transport;
  std::string problem;
  std::unique_ptr<Wnaspi32Provider> aspi = Wnaspi32Provider::Load(aspiLibrary, problem);
  if (aspi) {
    const aspi::DWORD info = aspi->GetSupportInfo();
    const unsigned status = (info >> 8) & 0xFF;
    const unsigned count = info & 0xFF;
    if (status == SS_COMP && count != 0) {
      transport.provider = std::move(aspi);
      transport.name = kAspiTransportName;
      return transport;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%s reports no host adapter (ASPI status 0x%02X: %s)",
                  aspiLibrary, status, SupportStatusMeaning(status));
    problem = text;
  }
  auto spti = std::make_unique<SptiProvider>(std::move(system));
  transport.notes.push_back(problem);
  if (spti->Devices().empty())
    transport.notes.push_back(
        "no CD-ROM device found (none of \\\\.\\CdRom0 to \\\\.\\CdRom31, nor a drive letter of "
        "type CD-ROM)");
  for (const std::string& line : spti->Problems()) transport.notes.push_back(line);
  transport.accessDenied = [provider = spti.get()] { return provider->AccessDenied(); };
  transport.provider = std::move(spti);
  transport.name = kPassThroughTransportName;
  return transport;
}

std::string DescribeTransport(const WindowsTransport& transport) {
  std::string text = "transport: " + transport.name + "\n";
  for (const std::string& note : transport.notes) text += note + "\n";
  return text;
}

std::unique_ptr<AspiProvider> CreateWindowsProvider(std::string& diagnostics,
                                                    DiagnosticSink messages,
                                                    std::function<bool()>& accessDenied) {
  spti::SptiSystem system = spti::SptiSystem::Real();
  system.tell = [messages = std::move(messages)](const std::string& line) {
    Tell(messages, "qtr5-download: " + line);
  };
  WindowsTransport transport = ChooseWindowsTransport("wnaspi32.dll", std::move(system));
  diagnostics = DescribeTransport(transport);
  accessDenied = std::move(transport.accessDenied);
  return std::move(transport.provider);
}
