// Linux: the SCSI generic driver.
#include "program/platform_transport.h"
#include "transports/linux/sg_provider.h"

PlatformTransport OpenPlatformTransport(DiagnosticSink messages) {
  PlatformTransport transport;
  SgProviderOptions options;
  options.messages = std::move(messages);
  transport.provider = CreateSgProvider(options, transport.diagnostics);
  transport.accessDenied = [provider = transport.provider.get()] {
    return SgAccessDenied(*provider);
  };
  return transport;
}
