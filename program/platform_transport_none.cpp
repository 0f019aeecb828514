// A build without a transport to real drives: only --emulate and --replay
// reach a drive.
#include "program/platform_transport.h"

PlatformTransport OpenPlatformTransport(DiagnosticSink) {
  PlatformTransport transport;
  transport.diagnostics = "This build has no transport to real drives; try --emulate";
  return transport;
}
