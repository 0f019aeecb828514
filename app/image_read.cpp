// DownloadApp::ReadImageFile: the image named in the file name box, built
// in the device's data buffer, and its 16-bit byte sum.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/download_app.h"
#include "app/run_options.h"
#include "image/hex_loader.h"
#include "image/image_checksum.h"
#include "image/result_codes.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kPathSize = 260;
constexpr int kChecksumRow = 1;
constexpr const char* kTextReading = "Reading File...";
constexpr const char* kTextReadOk = "Reading is success!";

}  // namespace

// A caller that pinned the image (by its file's SHA-256 or its checksum) gets
// that image or none: the reason names both values of what differs.
bool IsTheExpectedImage(const char* path, const std::string& sha256, std::uint16_t imageSum) {
  g_runOutcome.imageNotExpected = false;
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%04X", static_cast<unsigned>(imageSum));
  std::string differs;
  if (!g_runOptions.expectedSha256.empty() && sha256 != g_runOptions.expectedSha256)
    differs = "its SHA-256 is " + sha256 + ", not the expected " + g_runOptions.expectedSha256;
  char expected[8];
  std::snprintf(expected, sizeof expected, "%04X",
                static_cast<unsigned>(g_runOptions.expectedChecksum));
  if (g_runOptions.hasExpectedChecksum && std::string(checksum) != expected) {
    if (!differs.empty()) differs += "; ";
    differs += "its checksum is " + std::string(checksum) + ", not the expected " + expected;
  }
  if (differs.empty()) return true;
  g_runOutcome.imageNotExpected = true;
  g_runOutcome.failureReason = std::string(path) + " is not the expected image: " + differs + ".";
  g_runOutcome.failureAdvice =
      "The image was not sent to the drive. Check that the file is the release you meant to flash.";
  return false;
}

int DownloadApp::ReadImageFile() {
  ShowText(kIdStatus, kTextReading);
  char path[kPathSize] = {};
  SendDlgItemMessageA(mainWindow, kIdFileName, WM_GETTEXT, kPathSize,
                      reinterpret_cast<LPARAM>(path));
  path[kPathSize - 1] = '\0';
  if (path[0] == '\0') {
    ShowText(kIdStatus, "");
    return 0;
  }
  // A name that does not fit the buffer is refused: its first 259 characters may
  // name another file, and that file's image would be flashed.
  const LRESULT length = SendDlgItemMessageA(mainWindow, kIdFileName, WM_GETTEXTLENGTH, 0, 0);
  if (length >= kPathSize) {
    g_runOutcome.failureReason = "The image name is longer than the " +
                                 std::to_string(kPathSize - 1) + " characters it may have.";
    ShowText(kIdStatus, ResultMessages[kResultCannotOpen]);
    return 0;
  }
  if (device.dataBuffer == nullptr) {
    ShowText(kIdStatus, kTextOutOfMemory);
    return 0;
  }
  std::size_t dataBytes = 0;
  HexLoadProblem problem;
  g_runOutcome.imageSha256.clear();
  const bool hashed = !g_runOptions.expectedSha256.empty();
  if (!LoadHexImage(path, device.dataBuffer, dataBytes, &problem,
                    hashed ? &g_runOutcome.imageSha256 : nullptr)) {
    g_runOutcome.failureReason = DescribeHexLoadProblem(path, problem);
    g_runOutcome.failureAdvice = "The image was not sent to the drive; correct or replace it.";
    const ResultCode code = g_resultCode < kResultCodeCount ? g_resultCode : kResultCannotOpen;
    ShowText(kIdStatus, ResultMessages[code]);
    return 0;
  }
  // A file without a single data byte builds an all-0xFF image; sent, it
  // would erase the drive's firmware. It is refused on every front end.
  if (dataBytes == 0) {
    ShowText(kIdStatus, kTextNoFirmwareData);
    return 0;
  }
  // The bytes sent are the bytes whose checksum the user confirmed.
  const std::vector<std::uint8_t>& confirmed = g_runOptions.confirmedImage;
  if (!confirmed.empty() &&
      (confirmed.size() != kFirmwareImageSize ||
       std::memcmp(confirmed.data(), device.dataBuffer, kFirmwareImageSize) != 0)) {
    ShowText(kIdStatus, kTextImageChanged);
    return 0;
  }
  imageChecksum = ImageChecksum(device.dataBuffer);
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(imageChecksum));
  ShowText(kChecksumRow, text);
  if (!IsTheExpectedImage(path, g_runOutcome.imageSha256, imageChecksum)) {
    ShowText(kIdStatus, kTextNotExpected);
    return 0;
  }
  // An image that sets only a few bytes is said before it is sent; a person
  // at the window may still stop it (a terminal asked its question already).
  g_runOutcome.imageWarning = FewDataBytesWarning(path, dataBytes);
  if (!g_runOutcome.imageWarning.empty() && g_runOptions.explainFailures && confirmed.empty()) {
    const std::string text = g_runOutcome.imageWarning + ".\n\nDownload it anyway?";
    if (MessageBoxA(mainWindow, text.c_str(), "Warning", MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
      ShowText(kIdStatus, ResultMessages[kResultCanceledByUser]);
      return 0;
    }
  }
  ShowText(kIdStatus, kTextReadOk);
  return 1;
}
