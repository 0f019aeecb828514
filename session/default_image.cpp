#include "session/default_image.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "image/regular_file.h"

DefaultImage CheckDefaultImage() {
  // Opened for reading and writing, so that a file that could not be
  // replaced counts as absent; closed at once and never written. Only a
  // regular file counts, checked on what was opened (a pipe never waits).
  int failure = 0;
  if (std::FILE* file = OpenRegularFile(kDefaultImageName, true, failure)) {
    std::fclose(file);
    return DefaultImage::kUsable;
  }
  std::error_code error;  // only for the explanation: nothing is read by this name
  return failure != 0 && std::filesystem::is_regular_file(kDefaultImageName, error)
             ? DefaultImage::kNotWritable
             : DefaultImage::kMissing;
}
