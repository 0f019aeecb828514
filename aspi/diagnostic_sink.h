// Where a transport's lines for the user go while the program runs: a lost
// device, a timeout, a refused claim, a failed download command, a replay
// that left its recording. One line per call, without a line end. The
// program's transport choice makes one and hands it to every provider; a
// front end that shows these lines elsewhere (a message box) gives its own.
#pragma once

#include <functional>
#include <iosfwd>
#include <string_view>

using DiagnosticSink = std::function<void(std::string_view line)>;

// Writes each line to standard error at once, after what the program has
// written to standard output so far.
DiagnosticSink StandardErrorSink();

// Writes each line, with a line end, to `out` (which must outlive the sink)
// and flushes it.
DiagnosticSink StreamSink(std::ostream& out);

// Tells `line` to `sink`; nothing when no sink was given.
inline void Tell(const DiagnosticSink& sink, std::string_view line) {
  if (sink) sink(line);
}
