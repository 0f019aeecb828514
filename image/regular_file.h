// Opening a file that must be a regular file, without the check and the open
// ever looking at two different things.
#pragma once

#include <cstdint>
#include <cstdio>

// Opens `path` for reading ("rb"), or for reading and writing ("r+b") when
// `forWriting`, only when it is a regular file (a link to one counts). The
// name is opened first without waiting and without taking a terminal (a pipe
// without a writer, a device), then what was opened is checked, and only a
// regular file is set back to blocking reads and handed out: a name swapped
// for a pipe after an earlier check can no longer hang the reader.
// Returns nullptr with `error` = errno when the system refused, or 0 when the
// name is no regular file. `size`, when not null, receives the file's size.
std::FILE* OpenRegularFile(const char* path, bool forWriting, int& error,
                           std::uint64_t* size = nullptr);
