// The lines a transport writes for the user during a recorded session
// ("host status 0x07", "did not end within 305 s"). They reach the user's
// sink as they come and are kept until the recorder attaches them to the
// record of the request they belong to, so that a replay can show them
// again.
#pragma once

#include <string>
#include <vector>

#include "aspi/diagnostic_sink.h"

class CapturedMessages {
 public:
  // Passes every line on to `out`.
  explicit CapturedMessages(DiagnosticSink out);
  CapturedMessages(const CapturedMessages&) = delete;
  CapturedMessages& operator=(const CapturedMessages&) = delete;

  // The sink to give the transport; it must not outlive this object.
  DiagnosticSink Sink();

  // The lines told since the last call.
  std::vector<std::string> Take();

 private:
  DiagnosticSink out_;
  std::vector<std::string> pending_;
};
