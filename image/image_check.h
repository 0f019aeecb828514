// Checking an image file without a drive: what `--check FILE [--save-image OUT]` does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <vector>

#include "image/firmware_image.h"
#include "image/image_verdict.h"

// Results of RunImageCheck. They are not exit statuses: the program turns
// them into outcomes of its exit status table (program/exit_status.h).
enum ImageCheckResult : int {
  kImageCheckBuilt,     // the image was built (and saved if asked)
  kImageCheckNotBuilt,  // the image was not built, or not saved
  kImageCheckUsage,     // no file name given; nothing printed
};

// What a check found, for a machine-readable summary.
struct ImageCheckReport {
  bool built = false;          // the image was built and holds data
  bool loaded = false;         // the loader built an image (with or without data)
  std::uint16_t checksum = 0;  // when loaded
  std::size_t dataBytes = 0;   // data bytes the file's records stored
  std::string sha256;          // the file's SHA-256, when loaded
  std::string result;          // the status text printed ("Reading is success!", ...)
  std::string reason;          // what is wrong (the line and why, or why not saved); may be empty
  std::vector<ImageWarning> warnings;  // what a download of the image would be warned of
};

// Reads `path` exactly as the Download command reads its image (ReadFirmwareImage: a
// name longer than kMaxImagePathLength is refused) and prints on `out`, each on a line of its own:
//   "Check Sum: XXXX"  (four upper-case hex digits; only when the image was built)
//   the status text:   "Reading is success!" or ResultMessages[g_resultCode].
// The status text, the reason and the warnings are the image's verdict
// (JudgeImage, nothing pinned). A file that loads without a single data byte
// prints its checksum and kTextNoFirmwareData and counts as not built: it is
// never flashed. The reason of a failed check and, for a built image, each
// warning ("Warning: TEXT") go to `err`.
// With `saveImagePath` (may be null) and a built image, the 65536 image bytes are then
// written to that file atomically: either the complete file appears or nothing changes.
// A failed save is reported on `err` and gives kImageCheckNotBuilt. When the image is
// not built, the save file is not touched.
// A null or empty `path` prints nothing and returns kImageCheckUsage: the caller treats
// it as a usage error and explains it.
// Returns kImageCheckBuilt or kImageCheckNotBuilt otherwise; a failure to write to `out`
// is reported on `err` and gives kImageCheckNotBuilt.
// With `report` (may be null) it is filled in as well. An existing file that is
// read-only is never replaced by the save: that is a failed save.
ImageCheckResult RunImageCheck(const char* path, const char* saveImagePath, std::FILE* out,
                               std::FILE* err, ImageCheckReport* report = nullptr);

// As above, reporting save and output failures on stderr.
ImageCheckResult RunImageCheck(const char* path, const char* saveImagePath, std::FILE* out);
