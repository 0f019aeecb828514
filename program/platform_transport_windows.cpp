// Windows: the ASPI service where it reports a host adapter, else the SCSI
// pass-through.
#include "program/platform_transport.h"
#include "transports/windows/windows_transport.h"

PlatformTransport OpenPlatformTransport(DiagnosticSink messages) {
  PlatformTransport transport;
  transport.provider =
      CreateWindowsProvider(transport.diagnostics, std::move(messages), transport.accessDenied);
  return transport;
}
