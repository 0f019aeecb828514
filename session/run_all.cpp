// FlashSession::RunAll: every step in order, as the described window would
// take them at start-up and on its Download command; and the recording of
// what the session shows.
#include <string>

#include "aspi/aspi_device.h"
#include "image/firmware_image.h"
#include "session/default_image.h"
#include "session/flash_session.h"
#include "session/session_questions.h"

namespace {

// What a window's text buffer holds of a text.
std::string AsShown(const std::string& text) {
  return text.substr(0, static_cast<std::size_t>(kMaxImagePathLength));
}

}  // namespace

const std::vector<std::string>& ReportLabels() {
  static const std::vector<std::string> labels{"Adapter : Target ID", "Check Sum", "Model Name",
                                               "Current F/W Version", "New F/W Version"};
  return labels;
}

void FlashSession::Status(const std::string& text) {
  if (!record_.mainWindowClosed) record_.statusLine = AsShown(text);
  observer_.StatusChanged(text);
}

void FlashSession::Row(ReportRow row, const std::string& value) {
  if (!record_.mainWindowClosed) {
    switch (row) {
      case ReportRow::kChecksum:
        record_.checksum = AsShown(value);
        break;
      case ReportRow::kModel:
        record_.model = AsShown(value);
        break;
      case ReportRow::kRevision:
        record_.revision = AsShown(value);
        break;
      case ReportRow::kNewVersion:
        record_.newRevision = AsShown(value);
        break;
      case ReportRow::kDevice:
        break;
    }
  }
  observer_.ReportRowChanged(row, value);
}

void FlashSession::RunAll(const std::string& namedImage) {
  std::string image = namedImage;
  if (image.empty()) {
    if (CheckDefaultImage() == DefaultImage::kUsable) {
      image = kDefaultImageName;
    } else {
      observer_.Notice(kCaptionDefaultMissing, kTextDefaultMissing);
    }
  }
  record_.imageFile = AsShown(image);
  record_.dryRun = request_.dryRun;
  if (!device_.IsAvailable()) Status(kTextFailToInitialize);
  if (Scan() != ScanResult::kChosen) {
    Status(record_.scanRefusal.empty() ? kTextFailToFindDevice : record_.scanRefusal);
    return;
  }
  const std::string refusal = questions_.RefusalBeforeTray(image);
  if (!refusal.empty()) {
    // Nothing more reaches the drive in this run.
    record_.refusedBeforeTray = true;
    device_.ClearTarget();
    Status(refusal);
    return;
  }
  // A dry run leaves the tray as it is: the only command it sends is the
  // scan's INQUIRY.
  if (!request_.dryRun) OpenTray();
  Status(kTextReady);
  // The checksum and the revision read back belong to the image read next.
  Row(ReportRow::kChecksum, "");
  Row(ReportRow::kNewVersion, "");
  questions_.StartedUp();
  if (image.empty()) {
    const std::optional<std::string> chosen = questions_.AskForImage();
    if (!chosen || chosen->empty()) return;
    image = *chosen;
    record_.imageFile = AsShown(image);
    Row(ReportRow::kChecksum, "");
    Row(ReportRow::kNewVersion, "");
  }
  const bool nameTooLong = image.size() > static_cast<std::size_t>(kMaxImagePathLength);
  const DownloadConsent consent = questions_.ConfirmDownload(image, nameTooLong);
  if (!consent.download) {
    if (!consent.status.empty()) Status(consent.status);
    return;
  }
  if (Download(nameTooLong ? std::string() : image, nameTooLong) == DownloadResult::kConfirmed)
    TellReboot();
}
