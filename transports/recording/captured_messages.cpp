#include "transports/recording/captured_messages.h"

#include <utility>

CapturedMessages::CapturedMessages(DiagnosticSink out) : out_(std::move(out)) {}

DiagnosticSink CapturedMessages::Sink() {
  return [this](std::string_view line) {
    pending_.emplace_back(line);
    Tell(out_, line);
  };
}

std::vector<std::string> CapturedMessages::Take() {
  std::vector<std::string> lines;
  lines.swap(pending_);
  return lines;
}
