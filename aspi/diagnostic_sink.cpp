#include "aspi/diagnostic_sink.h"

#include <cstdio>
#include <ostream>

DiagnosticSink StandardErrorSink() {
  return [](std::string_view line) {
    std::fflush(stdout);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
  };
}

DiagnosticSink StreamSink(std::ostream& out) {
  return [&out](std::string_view line) { out << line << '\n' << std::flush; };
}
