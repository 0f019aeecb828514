// What one read of an image file means for a download, in the words every
// front end shows: the status line, the reason it is refused and the
// warnings before it is sent come from here, so that no caller words them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/firmware_image.h"

// What the user pinned the image to (--expect-sha256, --expect-checksum).
struct ImagePins {
  // The file's SHA-256 in lower-case hex, as `sha256sum` prints it; empty when
  // not pinned.
  std::string sha256;
  bool hasChecksum = false;
  std::uint16_t checksum = 0;  // the image's 16-bit byte sum, when hasChecksum
};

enum class ImageVerdictKind {
  kGood,         // may be sent, after its warnings
  kNotBuilt,     // the file cannot be read, or it is damaged (the loader's problem)
  kNoData,       // not a single data byte: sent, the all-0xFF image would erase the firmware
  kNotExpected,  // a pinned SHA-256 or checksum does not match
};

struct ImageWarning {
  // One sentence without a final period, to be shown before the image is sent.
  std::string text;
  // The image may be sent only after an explicit confirmation of this warning
  // (a person's answer to it); --yes alone is none. Otherwise it stays a
  // warning.
  bool mustConfirm = false;
};

struct ImageVerdict {
  ImageVerdictKind kind = ImageVerdictKind::kNotBuilt;
  // The status line: "Reading is success!", ResultMessages[failure],
  // kTextNoFirmwareData or kTextNotExpected.
  std::string status;
  // Why it is not sent: "FILE, line 3: what" for a file that was not built,
  // "FILE is not the expected image: ..." for a pin that does not match;
  // empty for a good image and for one without data (the status says it).
  std::string reason;
  // For a good image only: the all-0xFF image first, then one that sets few
  // bytes (FewDataBytesWarning). An all-0xFF image must be confirmed unless
  // its SHA-256 is pinned: a 16-bit checksum is no identity and pins nothing.
  std::vector<ImageWarning> warnings;
};

// Judges `image` (ReadFirmwareImage) against `pins`. `file` is the name as the
// words should show it. The pins are compared only for a built image with data;
// a pinned SHA-256 needs the image read with its SHA-256 (an image read without
// it does not match).
ImageVerdict JudgeImage(const FirmwareImage& image, const std::string& file,
                        const ImagePins& pins = {});
