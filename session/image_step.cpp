// FlashSession::ReadImage: the image named, built in the device's data
// buffer, judged, and its 16-bit byte sum.
#include <cstdio>
#include <cstring>
#include <string>

#include "aspi/aspi_device.h"
#include "image/firmware_image.h"
#include "image/hex_loader.h"
#include "image/image_verdict.h"
#include "image/result_codes.h"
#include "session/flash_session.h"
#include "session/session_observer.h"
#include "session/session_questions.h"

namespace {

constexpr const char* kTextReading = "Reading File...";
constexpr const char* kTextReadOk = "Reading is success!";

}  // namespace

std::string WarningsText(const ImageVerdict& verdict) {
  std::string text;
  for (const ImageWarning& warning : verdict.warnings)
    text += (text.empty() ? "" : ". ") + warning.text;
  return text;
}

ImagePins PinsOf(const SessionRequest& request) {
  ImagePins pins;
  pins.sha256 = request.expectedSha256;
  pins.hasChecksum = request.hasExpectedChecksum;
  pins.checksum = request.expectedChecksum;
  return pins;
}

void RecordUnexpectedImage(RunRecord& record, const std::string& reason) {
  record.imageNotExpected = !reason.empty();
  if (reason.empty()) return;
  record.failureReason = reason;
  record.failureAdvice =
      "The image was not sent to the drive. Check that the file is the release you meant to flash.";
}

ImageResult FlashSession::ReadImage(const std::string& path, bool nameTooLong) {
  Status(kTextReading);
  if (path.empty() && !nameTooLong) {
    Status("");
    return ImageResult::kNoName;
  }
  // A name that does not fit the buffer is refused: its first 259 characters may
  // name another file, and that file's image would be flashed.
  if (nameTooLong) {
    record_.failureReason = "The image name is longer than the " +
                            std::to_string(kMaxImagePathLength) + " characters it may have.";
    Status(ResultMessages[kResultCannotOpen]);
    return ImageResult::kUnreadable;
  }
  if (device_.dataBuffer == nullptr) {
    Status(kTextOutOfMemory);
    return ImageResult::kUnreadable;
  }
  // The image a caller read before (its check before the tray) is sent as
  // it was read; one the user confirmed is read again and compared.
  const SessionRequest& request = request_;
  const bool prepared = request.preparedImage.has_value() && request.preparedImageFile == path;
  const FirmwareImage image = prepared && !request.readPreparedAgain
                                  ? *request.preparedImage
                                  : ReadFirmwareImage(path.c_str(), request.WantsImageDigest());
  record_.imageSha256 = image.sha256;
  if (!image.built) {
    record_.failureReason = DescribeHexLoadProblem(path, image.problem);
    record_.failureAdvice = "The image was not sent to the drive; correct or replace it.";
    Status(ResultMessages[image.failure]);
    return ImageResult::kUnreadable;
  }
  // A file without a single data byte builds an all-0xFF image; sent, it
  // would erase the drive's firmware. It is refused on every front end.
  if (image.noData) {
    Status(kTextNoFirmwareData);
    return ImageResult::kNoData;
  }
  // The bytes sent are the bytes whose checksum the user confirmed.
  if (prepared && image.bytes != request.preparedImage->bytes) {
    Status(kTextImageChanged);
    return ImageResult::kChanged;
  }
  std::memcpy(device_.dataBuffer, image.bytes.data(), kFirmwareImageSize);
  imageChecksum_ = image.checksum;
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(imageChecksum_));
  Row(ReportRow::kChecksum, text);
  const ImageVerdict verdict = JudgeImage(image, path, PinsOf(request));
  RecordUnexpectedImage(
      record_, verdict.kind == ImageVerdictKind::kNotExpected ? verdict.reason : std::string());
  if (record_.imageNotExpected) {
    Status(kTextNotExpected);
    return ImageResult::kNotExpected;
  }
  // What the verdict warns of (an image that would erase the firmware, one
  // that sets only a few bytes) is asked before it is sent; a caller that
  // prepared the image has asked already.
  record_.imageWarning = WarningsText(verdict);
  if (!prepared) {
    for (const ImageWarning& warning : verdict.warnings) {
      if (!questions_.ConfirmImageWarning(warning.text)) {
        Status(ResultMessages[kResultCanceledByUser]);
        return ImageResult::kDeclined;
      }
    }
  }
  Status(kTextReadOk);
  return ImageResult::kRead;
}
