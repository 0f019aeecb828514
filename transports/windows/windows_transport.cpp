#include "transports/windows/windows_transport.h"

#include <cstdio>

#include "transports/windows/spti_provider.h"
#include "transports/windows/wnaspi32_provider.h"

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
    char text[96];
    std::snprintf(text, sizeof text, "%s reports no host adapter (status 0x%02X)", aspiLibrary,
                  status);
    problem = text;
  }
  auto spti = std::make_unique<SptiProvider>(std::move(system));
  transport.notes.push_back(problem);
  if (spti->Devices().empty())
    transport.notes.push_back(
        "no CD-ROM device found (\\\\.\\CdRom0..31, nor a drive letter of type CD-ROM)");
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
