#include "program/automation.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "aspi/aspi_provider.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "image/firmware_image.h"
#include "image/hex_loader.h"
#include "image/image_verdict.h"
#include "image/result_codes.h"
#include "program/program_front_end.h"
#include "resources/resource_ids.h"
#include "text/printable.h"
#include "winui/winapi.h"

namespace {

constexpr const char* kTextNotConfirmed =
    "Not downloading without --yes when standard input is not a terminal";

// Posts the click of a button of the main window, as the mouse would.
void PostButton(int id) {
  PostMessageA(g_app->mainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(g_app->mainWindow, id)));
}

bool IsYes(std::string_view answer) {
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
    answer.remove_suffix(1);
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.front())))
    answer.remove_prefix(1);
  if (answer.size() != 1 && answer.size() != 3) return false;
  std::string lower;
  for (char c : answer) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "y" || lower == "yes";
}

// The image the Download command would send, read before the question so
// that it can name its checksum, and a file that cannot be read is found out
// before the user is asked. A name that is too long is not read.
FirmwareImage PreviewImage(const RunRequest& request, const std::string& file, bool tooLong) {
  if (tooLong || file.empty()) {
    FirmwareImage none;
    none.failure = kResultCannotOpen;
    return none;
  }
  // The file's digest is taken when a pinned one is to be compared with it.
  return ReadFirmwareImage(file.c_str(), !request.expectedSha256.empty());
}

// An image that sets only a few bytes is said before it is sent (and kept
// for the run's summary).
void WarnOfFewBytes(ProgramFrontEnd& frontEnd, RunRecord& record, const std::string& warning) {
  record.imageWarning = warning;
  if (!record.imageWarning.empty())
    frontEnd.PrintError("Warning: " + PrintableText(record.imageWarning));
}

}  // namespace

DownloadAutomation::DownloadAutomation(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                                       RunContext& run)
    : yes_(options.yes),
      hasImage_(options.hasImage),
      imagePath_(options.imagePath),
      frontEnd_(frontEnd),
      run_(run) {}

std::string DownloadAutomation::ImageName(bool& tooLong) const {
  const std::string& name = hasImage_ ? imagePath_ : run_.record.imageFile;
  tooLong = name.size() > static_cast<std::size_t>(kMaxImagePathLength);
  return tooLong ? std::string() : name;
}

void DownloadAutomation::Prepare(const std::string& file, const FirmwareImage& image) {
  run_.request.preparedImageFile = file;
  run_.request.preparedImage = image;
}

void DownloadAutomation::Stop(Outcome outcome) {
  stage_ = Stage::kDone;
  run_.record.outcome = outcome;
}

bool DownloadAutomation::OnIdle() {
  if (g_app == nullptr || g_app->mainWindow == nullptr) return false;
  return Step();
}

bool DownloadAutomation::Step() {
  switch (stage_) {
    case Stage::kStart:
      return Start();
    case Stage::kBrowsing:
      // The open-file question was answered (or not): a name is the image.
      if (!run_.record.imageFile.empty()) return ConfirmDownload();
      Stop(Outcome::kFailed);  // nothing to flash
      return false;
    case Stage::kDownloadClicked:
    case Stage::kDone:
      break;
  }
  // The download has its outcome (the reboot notice or the failure): end.
  stage_ = Stage::kDone;
  return false;
}

bool DownloadAutomation::Start() {
  stage_ = Stage::kDone;
  // Without a chosen drive, or refused before its tray was opened, the
  // status line already says why; nothing to do.
  if (!run_.record.driveChosen || run_.record.refusedBeforeTray) return false;
  bool tooLong = false;
  if (!ImageName(tooLong).empty() || tooLong) return ConfirmDownload();
  // No image yet (the default image is missing, and the browse button is
  // usable). On a terminal the user may name one; --yes never asks.
  if (!yes_ && frontEnd_.CanAsk()) {
    if (!hasImage_ && (CheckDefaultImage() == DefaultImage::kNotWritable)) ExplainMissingImage();
    stage_ = Stage::kBrowsing;
    PostButton(kIdBrowse);
    return true;
  }
  Stop(Outcome::kFailed);  // nothing to flash
  ExplainMissingImage();
  return false;
}

void DownloadAutomation::ExplainMissingImage() {
  const std::string name = kDefaultImageName;
  if (!hasImage_ && (CheckDefaultImage() == DefaultImage::kNotWritable)) {
    frontEnd_.PrintError(name + " is in the current folder but cannot be opened for writing, " +
                         "and the default image is taken only when it is writable: make it " +
                         "writable, or name it with --image " + name);
  } else {
    frontEnd_.PrintError("No image to download: name one with --image FILE, or put " + name +
                         " in the current folder");
  }
}

// Where the program lacks the rights to keep the system away from the drive
// during the download, the user hears it before saying yes (or before the
// download with --yes).
void DownloadAutomation::TellGuardLimits() {
  const AspiProvider* provider = InstalledAspiProvider();
  if (provider != nullptr) {
    guardWarning_ = provider->GuardLimits(run_.record.chosenAdapter, run_.record.chosenTarget);
  }
  if (!guardWarning_.empty()) frontEnd_.PrintError("Warning: " + PrintableText(guardWarning_));
}

bool DownloadAutomation::ConfirmDownload() {
  if (yes_) {
    TellGuardLimits();
    return ClickDownload();
  }
  if (!frontEnd_.CanAsk()) {
    Stop(Outcome::kNotDownloaded);
    frontEnd_.PrintError(kTextNotConfirmed);
    return false;
  }
  bool tooLong = false;
  const std::string file = ImageName(tooLong);
  const FirmwareImage preview = PreviewImage(run_.request, file, tooLong);
  run_.record.imageSha256 = preview.sha256;
  if (const char* refusal = RefuseImage(file, preview)) {
    g_app->ShowText(kIdStatus, refusal);
    return false;
  }
  if (preview.allFF) {
    frontEnd_.PrintError("Warning: " + PrintableText(file) +
                         " holds no firmware (every byte of its image is 0xFF): downloading it "
                         "would erase the drive's firmware");
  }
  WarnOfFewBytes(frontEnd_, run_.record, preview.fewBytesWarning);
  TellGuardLimits();
  const std::optional<std::string> answer = frontEnd_.Ask(Question(file, preview.checksum));
  if (answer && IsYes(*answer)) {
    // The download reads the file again; it sends only what was confirmed.
    Prepare(file, preview);
    run_.request.readPreparedAgain = true;
    return ClickDownload();
  }
  Stop(Outcome::kNotDownloaded);  // the user said no
  g_app->ShowText(kIdStatus, ResultMessages[kResultCanceledByUser]);
  return false;
}

const char* DownloadAutomation::RefuseImage(const std::string& file, const FirmwareImage& preview) {
  if (!preview.built || preview.noData) {
    // Nothing is asked and nothing sent: the run ends as a failed image read.
    Stop(Outcome::kFailed);
    const char* message = preview.built ? kTextNoFirmwareData : ResultMessages[preview.failure];
    frontEnd_.PrintError((file.empty() ? std::string("The image") : PrintableText(file)) + ": " +
                         message + " Nothing was sent to the drive.");
    if (!preview.problem.what.empty()) {
      run_.record.failureReason = DescribeHexLoadProblem(file, preview.problem);
      frontEnd_.PrintError(PrintableText(run_.record.failureReason));
    }
    return message;
  }
  // A pinned image that does not match is refused before the question.
  const ImageVerdict verdict = JudgeImage(preview, file, PinsOf(run_.request));
  RecordUnexpectedImage(
      run_.record, verdict.kind == ImageVerdictKind::kNotExpected ? verdict.reason : std::string());
  if (run_.record.imageNotExpected) {
    Stop(Outcome::kFailed);
    return kTextNotExpected;
  }
  return nullptr;
}

std::string DownloadAutomation::RefusalBeforeTray() {
  // On a terminal the image is read, and may be named, before the question.
  if (!yes_ && frontEnd_.CanAsk()) return {};
  if (!yes_) {
    Stop(Outcome::kNotDownloaded);
    frontEnd_.PrintError(kTextNotConfirmed);
    return kTextNotConfirmed;
  }
  bool tooLong = false;
  const std::string file = ImageName(tooLong);
  if (file.empty() && !tooLong) {
    Stop(Outcome::kFailed);  // nothing to flash
    ExplainMissingImage();
    return ResultMessages[kResultCannotOpen];
  }
  const FirmwareImage preview = PreviewImage(run_.request, file, tooLong);
  run_.record.imageSha256 = preview.sha256;
  const char* refusal = RefuseImage(file, preview);
  if (refusal == nullptr) {
    WarnOfFewBytes(frontEnd_, run_.record, preview.fewBytesWarning);
    Prepare(file, preview);  // the download sends the image checked here
  }
  return refusal != nullptr ? refusal : std::string();
}

bool DownloadAutomation::ClickDownload() {
  stage_ = Stage::kDownloadClicked;
  PostButton(kIdDownload);
  return true;
}

std::string DownloadAutomation::Question(const std::string& file, std::uint16_t checksum) const {
  const RunRecord& record = run_.record;
  std::string model = "the drive";
  for (int row = 0; row < g_deviceCount; ++row) {
    const DeviceEntry& entry = DeviceTable[row];
    if (entry.adapterId == record.chosenAdapter && entry.targetId == record.chosenTarget)
      model = FullModelText(run_.scan, entry.adapterId, entry.targetId, entry.model);
  }
  char address[16];
  std::snprintf(address, sizeof address, "%u:%u", static_cast<unsigned>(record.chosenAdapter),
                static_cast<unsigned>(record.chosenTarget));
  char sum[8];
  std::snprintf(sum, sizeof sum, "%04X", static_cast<unsigned>(checksum));
  return "Download " + PrintableText(file) + " (checksum " + sum + ") to " + PrintableText(model) +
         " at " + address + "? [y/N] ";
}
