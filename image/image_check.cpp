#include "image/image_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "image/atomic_file.h"
#include "image/firmware_image.h"
#include "image/hex_loader.h"
#include "image/image_verdict.h"

namespace {

// A file that is there and that nobody may write: a save would replace it
// all the same (the new file is renamed over it), against its owner's will.
bool IsReadOnlyFile(const char* path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (error || !fs::exists(status)) return false;
  const fs::perms writable =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return (status.permissions() & writable) == fs::perms::none;
}
}  // namespace

ImageCheckResult RunImageCheck(const char* path, const char* saveImagePath, std::FILE* out,
                               std::FILE* err, ImageCheckReport* report) {
  if (path == nullptr || *path == '\0') return kImageCheckUsage;
  ImageCheckReport unused;
  ImageCheckReport& found = report != nullptr ? *report : unused;
  found = ImageCheckReport{};

  const FirmwareImage image = ReadFirmwareImage(path, report != nullptr);
  // The words a download would show; an image without data would never be
  // sent, so the check fails on it as well.
  const ImageVerdict verdict = JudgeImage(image, path);
  found.loaded = image.built;
  found.dataBytes = image.dataBytes;
  if (image.built) {
    found.checksum = image.checksum;
    found.sha256 = image.sha256;
    std::fprintf(out, "Check Sum: %04X\n", static_cast<unsigned>(found.checksum));
  }
  found.result = verdict.status;
  found.reason = verdict.reason;
  found.warnings = verdict.warnings;
  std::fprintf(out, "%s\n", found.result.c_str());
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "cannot write the check result: %s\n", std::strerror(errno));
    return kImageCheckNotBuilt;
  }
  if (verdict.kind != ImageVerdictKind::kGood) {
    // The message above keeps its text; the line and what is wrong follow.
    if (!found.reason.empty()) std::fprintf(err, "%s\n", found.reason.c_str());
    return kImageCheckNotBuilt;
  }
  for (const ImageWarning& warning : verdict.warnings)
    std::fprintf(err, "Warning: %s\n", warning.text.c_str());

  if (saveImagePath != nullptr) {
    std::string reason;
    const bool readOnly = IsReadOnlyFile(saveImagePath);
    if (readOnly) reason = "the file is read-only, and it is not replaced";
    if (readOnly ||
        !WriteFileAtomically(saveImagePath, image.bytes.data(), kFirmwareImageSize, reason)) {
      found.built = false;
      found.reason = "cannot save the image to \"" + std::string(saveImagePath) + "\": " + reason;
      std::fprintf(err, "cannot save the image to \"%s\": %s (nothing was written)\n",
                   saveImagePath, reason.c_str());
      return kImageCheckNotBuilt;
    }
  }
  found.built = true;
  return kImageCheckBuilt;
}

ImageCheckResult RunImageCheck(const char* path, const char* saveImagePath, std::FILE* out) {
  return RunImageCheck(path, saveImagePath, out, stderr);
}
