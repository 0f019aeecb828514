// What the one running a flash session asks of it up front: which drive,
// whether a choice among several may be asked for, which image is pinned,
// the image already read and confirmed, and how the front end answers its
// own windows while the session waits for the drive.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "image/firmware_image.h"

struct SessionRequest {
  // Preferred drive (adapter:target). When set, the scan chooses it without
  // asking; if it is not among the accepted drives the scan fails with a
  // status text saying so, and nothing is sent to any drive.
  bool hasPreferredDevice = false;
  std::uint8_t preferredAdapter = 0;
  std::uint8_t preferredTarget = 0;

  // Whether the choice among several drives may be asked (ChooseDrive).
  // When false, several accepted drives and no preferred drive make the
  // scan fail with a status text; no tray is opened and nothing is sent.
  bool mayAskForDevice = true;

  // The image a caller read before the download (for its check before the
  // tray, or for the question that named its checksum), and the file it
  // read it from; empty: none. When the download reads that file, it sends
  // these very bytes without reading the file again; with
  // `readPreparedAgain` (the user confirmed what the question showed) it
  // reads the file again and sends it only when it builds exactly these
  // bytes: a file emptied or replaced after the question is refused, never
  // flashed in place of the one shown.
  std::string preparedImageFile;
  std::optional<FirmwareImage> preparedImage;
  bool readPreparedAgain = false;

  // The image the run may flash, when the caller pinned it: the SHA-256 of
  // its file (64 lower-case hex digits; empty: not checked) and its 16-bit
  // checksum. Another image is refused before the download command.
  std::string expectedSha256;
  bool hasExpectedChecksum = false;
  std::uint16_t expectedChecksum = 0;

  // A dry run: every step a flash takes up to the download command, judged
  // as a real run judges it, but the tray is not opened and the image not
  // sent, so nothing but the scan's INQUIRY reaches a drive. A run that
  // would send the image ends there with success (RunRecord::wouldDownload).
  bool dryRun = false;
  // The image file's SHA-256 is taken when it is compared with a pinned one
  // or, in a dry run, to name the file that would be sent.
  bool WantsImageDigest() const { return !expectedSha256.empty() || dryRun; }

  // Called while the session waits for the drive (a held command, the
  // progress display, the settle delays), so that the front end's windows
  // stay answered. Empty: the waits only wait.
  std::function<void()> waitPump;
};
