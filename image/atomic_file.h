// Writing a whole file so that readers see either the old file or the complete new one.
#pragma once

#include <cstddef>
#include <string>

// Writes `size` bytes to a new temporary file in the directory of `path`, flushes it to
// the disk and renames it over `path`. The temporary file has a random name and is
// created exclusively without following links, so that another program can neither
// redirect the write nor share the file. On any failure the temporary file is removed,
// `path` is left as it was, `error` gets a short reason and the result is false.
bool WriteFileAtomically(const char* path, const void* data, std::size_t size, std::string& error);
