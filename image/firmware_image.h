// One read of a firmware image file: everything the Download command, the
// question before it and the image check need to know about the file, from
// a single load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/hex_loader.h"
#include "image/result_codes.h"

// Characters an image file name buffer holds, the terminator included.
inline constexpr int kImagePathSize = 260;
// The longest image file name that is read. A longer one is refused as a file
// that cannot be opened: cut to fit the buffer it could name another file,
// whose image would then be flashed.
inline constexpr int kMaxImagePathLength = kImagePathSize - 1;

struct FirmwareImage {
  // The loader built the image, with or without data. When false, only
  // `failure` and `problem` say anything.
  bool built = false;
  // Why it was not built: kResultCannotOpen, kResultDamaged or
  // kResultAddressOverflow (an index into ResultMessages).
  ResultCode failure = kResultNoError;
  // The line and what is wrong, when not built.
  HexLoadProblem problem;
  // The kFirmwareImageSize bytes of the image, byte index = address; empty
  // when not built.
  std::vector<std::uint8_t> bytes;
  // The 16-bit byte sum of `bytes` (ImageChecksum).
  std::uint16_t checksum = 0;
  // How many bytes of the image the file's data records set.
  std::size_t dataBytes = 0;
  // Not a single byte set: an all-0xFF image that would erase the drive's
  // firmware if it were sent (kTextNoFirmwareData).
  bool noData = false;
  // Every byte of the image is 0xFF (also when records set them so).
  bool allFF = false;
  // FewDataBytesWarning for the file's name: empty unless the file sets only
  // a few bytes.
  std::string fewBytesWarning;
  // The SHA-256 of the file's bytes as `sha256sum` prints it, when asked for
  // and built.
  std::string sha256;
};

// Loads the Intel HEX file `path` once (LoadHexImage) and judges it. A name
// longer than kMaxImagePathLength is not opened: it fails with
// kResultCannotOpen and a problem that says so. g_resultCode is left as a
// load leaves it (kResultCannotOpen for a name that is too long). The file's
// SHA-256 is taken only with `wantSha256`.
FirmwareImage ReadFirmwareImage(const char* path, bool wantSha256);
