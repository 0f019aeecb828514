// DownloadApp::ReadImageFile: the image named in the file name box, built
// in the device's data buffer, and its 16-bit byte sum.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/download_app.h"
#include "app/run_context.h"
#include "image/firmware_image.h"
#include "image/hex_loader.h"
#include "image/result_codes.h"
#include "resources/resource_ids.h"

namespace {

constexpr const char* kTextReading = "Reading File...";
constexpr const char* kTextReadOk = "Reading is success!";

}  // namespace

// A caller that pinned the image (by its file's SHA-256 or its checksum) gets
// that image or none: the reason names both values of what differs.
std::string UnexpectedImageReason(const RunRequest& request, const char* path,
                                  const std::string& sha256, std::uint16_t imageSum) {
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%04X", static_cast<unsigned>(imageSum));
  std::string differs;
  if (!request.expectedSha256.empty() && sha256 != request.expectedSha256)
    differs = "its SHA-256 is " + sha256 + ", not the expected " + request.expectedSha256;
  char expected[8];
  std::snprintf(expected, sizeof expected, "%04X", static_cast<unsigned>(request.expectedChecksum));
  if (request.hasExpectedChecksum && std::string(checksum) != expected) {
    if (!differs.empty()) differs += "; ";
    differs += "its checksum is " + std::string(checksum) + ", not the expected " + expected;
  }
  if (differs.empty()) return {};
  return std::string(path) + " is not the expected image: " + differs + ".";
}

void RecordUnexpectedImage(RunRecord& record, const std::string& reason) {
  record.imageNotExpected = !reason.empty();
  if (reason.empty()) return;
  record.failureReason = reason;
  record.failureAdvice =
      "The image was not sent to the drive. Check that the file is the release you meant to flash.";
}

int DownloadApp::ReadImageFile() {
  ShowText(kIdStatus, kTextReading);
  char path[kImagePathSize] = {};
  SendDlgItemMessageA(mainWindow, kIdFileName, WM_GETTEXT, kImagePathSize,
                      reinterpret_cast<LPARAM>(path));
  path[kImagePathSize - 1] = '\0';
  if (path[0] == '\0') {
    ShowText(kIdStatus, "");
    return 0;
  }
  // A name that does not fit the buffer is refused: its first 259 characters may
  // name another file, and that file's image would be flashed.
  const LRESULT length = SendDlgItemMessageA(mainWindow, kIdFileName, WM_GETTEXTLENGTH, 0, 0);
  if (length >= kImagePathSize) {
    run.record.failureReason = "The image name is longer than the " +
                               std::to_string(kMaxImagePathLength) + " characters it may have.";
    ShowText(kIdStatus, ResultMessages[kResultCannotOpen]);
    return 0;
  }
  if (device.dataBuffer == nullptr) {
    ShowText(kIdStatus, kTextOutOfMemory);
    return 0;
  }
  // The image a caller read before (its check before the tray) is sent as
  // it was read; one the user confirmed is read again and compared.
  const RunRequest& request = run.request;
  const bool prepared = request.preparedImage.has_value() && request.preparedImageFile == path;
  const FirmwareImage image = prepared && !request.readPreparedAgain
                                  ? *request.preparedImage
                                  : ReadFirmwareImage(path, !request.expectedSha256.empty());
  run.record.imageSha256 = image.sha256;
  if (!image.built) {
    run.record.failureReason = DescribeHexLoadProblem(path, image.problem);
    run.record.failureAdvice = "The image was not sent to the drive; correct or replace it.";
    ShowText(kIdStatus, ResultMessages[image.failure]);
    return 0;
  }
  // A file without a single data byte builds an all-0xFF image; sent, it
  // would erase the drive's firmware. It is refused on every front end.
  if (image.noData) {
    ShowText(kIdStatus, kTextNoFirmwareData);
    return 0;
  }
  // The bytes sent are the bytes whose checksum the user confirmed.
  if (prepared && image.bytes != request.preparedImage->bytes) {
    ShowText(kIdStatus, kTextImageChanged);
    return 0;
  }
  std::memcpy(device.dataBuffer, image.bytes.data(), kFirmwareImageSize);
  imageChecksum = image.checksum;
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(imageChecksum));
  ShowText(kRowChecksum, text);
  RecordUnexpectedImage(run.record,
                        UnexpectedImageReason(request, path, image.sha256, imageChecksum));
  if (run.record.imageNotExpected) {
    ShowText(kIdStatus, kTextNotExpected);
    return 0;
  }
  // An image that sets only a few bytes is said before it is sent; a person
  // at the window may still stop it (a caller that prepared the image has
  // said so already).
  run.record.imageWarning = image.fewBytesWarning;
  if (!run.record.imageWarning.empty() && request.explainFailures && !prepared) {
    const std::string warning = run.record.imageWarning + ".\n\nDownload it anyway?";
    if (MessageBoxA(mainWindow, warning.c_str(), "Warning", MB_OKCANCEL | MB_ICONWARNING) != IDOK) {
      ShowText(kIdStatus, ResultMessages[kResultCanceledByUser]);
      return 0;
    }
  }
  ShowText(kIdStatus, kTextReadOk);
  return 1;
}
