// Standard output and standard error of the Windows program. It is a
// desktop program (no console of its own); when started from a console its
// output goes to that console, and when its output is redirected (a file,
// a pipe) it goes there.
#pragma once

// Which of the two streams lead somewhere.
struct StandardStreams {
  bool output = false;
  bool error = false;
};

// Makes stdout and stderr usable: a stream whose handle is already a file
// or pipe is kept; otherwise the program attaches to the console of the
// process that started it and writes there.
StandardStreams ConnectStandardOutput();
