#include "program/flow_questions.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "aspi/aspi_provider.h"
#include "discovery/device_table.h"
#include "image/firmware_image.h"
#include "image/hex_loader.h"
#include "image/image_verdict.h"
#include "image/result_codes.h"
#include "program/program_front_end.h"
#include "session/default_image.h"
#include "session/flash_session.h"
#include "text/printable.h"

namespace {

constexpr const char* kTextNotConfirmed =
    "Not downloading without --yes when standard input is not a terminal";

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

// The image the download would send, read before the question so that it
// can name its checksum, and a file that cannot be read is found out before
// the user is asked. A name that is too long is not read.
FirmwareImage PreviewImage(const SessionRequest& request, const std::string& file, bool tooLong) {
  if (tooLong || file.empty()) {
    FirmwareImage none;
    none.failure = kResultCannotOpen;
    return none;
  }
  return ReadFirmwareImage(file.c_str(), request.WantsImageDigest());
}

// What the verdict warns of is said before the image is sent (and kept for
// the run's summary).
void Warn(ProgramFrontEnd& frontEnd, RunRecord& record, const ImageVerdict& verdict) {
  record.imageWarning = WarningsText(verdict);
  for (const ImageWarning& warning : verdict.warnings)
    frontEnd.PrintError("Warning: " + PrintableText(warning.text));
}

std::string TrayLine(const RunRecord& run) {
  return "The tray did not open: " + run.trayFailure +
         ". The drive takes its firmware with the tray closed as well.";
}

}  // namespace

ProgramQuestions::ProgramQuestions(const ProgramOptions& options, ProgramFrontEnd& frontEnd,
                                   SessionRequest& request, RunRecord& record,
                                   const ScanRecord& scan)
    : yes_(options.yes),
      hasImage_(options.hasImage),
      frontEnd_(frontEnd),
      request_(request),
      record_(record),
      scan_(scan) {}

// The choice among several drives on a terminal: one numbered list with
// each drive's address, model and revision, asked where questions go (never
// into captured output). Returns the row, or -1 at the end of input.
int ProgramQuestions::ChooseDrive() {
  std::string question = "Several XPM-3177K drives found:\n";
  for (int row = 0; row < g_deviceCount; ++row) {
    char line[96];
    std::snprintf(line, sizeof line, "  %d) %u:%u  ", row + 1,
                  static_cast<unsigned>(DeviceTable[row].adapterId),
                  static_cast<unsigned>(DeviceTable[row].targetId));
    question += line + PrintableText(DeviceTable[row].model) + "  " +
                PrintableText(DeviceTable[row].revision) + "\n";
  }
  const std::string count = std::to_string(g_deviceCount);
  question += "Device number (1-" + count + "): ";
  for (;;) {
    const std::optional<std::string> answer = frontEnd_.Ask(question);
    if (!answer) return -1;
    int number = 0;
    const char* end = answer->data() + answer->size();
    const auto [stop, error] = std::from_chars(answer->data(), end, number);
    if (error == std::errc() && stop == end && number >= 1 && number <= g_deviceCount)
      return number - 1;
    question = "Please enter a number from 1 to " + count + ": ";
  }
}

void ProgramQuestions::Prepare(const std::string& file, const FirmwareImage& image) {
  request_.preparedImageFile = file;
  request_.preparedImage = image;
}

void ProgramQuestions::TellTray() {
  if (!trayTold_ && record_.driveChosen && record_.trayFailed)
    frontEnd_.PrintError(TrayLine(record_));
  trayTold_ = true;
}

void ProgramQuestions::StartedUp() {
  startedUp_ = true;
  TellTray();
}

void ProgramQuestions::ExplainMissingImage() {
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
void ProgramQuestions::TellGuardLimits() {
  const AspiProvider* provider = InstalledAspiProvider();
  if (provider != nullptr) {
    guardWarning_ = provider->GuardLimits(record_.chosenAdapter, record_.chosenTarget);
  }
  if (!guardWarning_.empty()) frontEnd_.PrintError("Warning: " + PrintableText(guardWarning_));
}

std::optional<std::string> ProgramQuestions::AskForImage() {
  // On a terminal the user may name one; --yes never asks.
  if (!yes_ && frontEnd_.CanAsk()) {
    if (!hasImage_ && (CheckDefaultImage() == DefaultImage::kNotWritable)) ExplainMissingImage();
    std::optional<std::string> chosen = frontEnd_.AskForImageFile();
    if (!chosen) Stop(Outcome::kNotDownloaded);  // the user gave no image: cancelled
    Progress();
    return chosen;
  }
  Stop(Outcome::kFailed);  // nothing to flash
  ExplainMissingImage();
  Progress();
  return std::nullopt;
}

DownloadConsent ProgramQuestions::ConfirmDownload(const std::string& image, bool tooLong) {
  DownloadConsent consent;
  if (yes_) {
    TellGuardLimits();
    consent.download = consented_ = true;
    Progress();
    return consent;
  }
  if (!frontEnd_.CanAsk()) {
    Stop(Outcome::kNotDownloaded);
    frontEnd_.PrintError(kTextNotConfirmed);
    Progress();
    return consent;
  }
  const std::string file = tooLong ? std::string() : image;
  const FirmwareImage preview = PreviewImage(request_, file, tooLong);
  record_.imageSha256 = preview.sha256;
  if (const char* refusal = RefuseImage(file, preview)) {
    consent.status = refusal;
    Progress();
    return consent;
  }
  Warn(frontEnd_, record_, JudgeImage(preview, file, PinsOf(request_)));
  TellGuardLimits();
  // A dry run does not ask: the answer is the user's, everything else has
  // been judged, and its end says the question would come.
  wouldAsk_ = request_.dryRun;
  const std::optional<std::string> answer = request_.dryRun
                                                ? std::optional<std::string>("y")
                                                : frontEnd_.Ask(Question(file, preview.checksum));
  if (answer && IsYes(*answer)) {
    // The download reads the file again; it sends only what was confirmed.
    Prepare(file, preview);
    request_.readPreparedAgain = true;
    consent.download = consented_ = true;
    Progress();
    return consent;
  }
  Stop(Outcome::kNotDownloaded);  // the user said no
  consent.status = ResultMessages[kResultCanceledByUser];
  Progress();
  return consent;
}

const char* ProgramQuestions::RefuseImage(const std::string& file, const FirmwareImage& preview) {
  if (!preview.built || preview.noData) {
    // Nothing is asked and nothing sent: the run ends as a failed image read.
    Stop(Outcome::kFailed);
    // The status line says what is wrong; the end of the run says where
    // (the line and why), once, and that nothing was sent.
    const char* message = preview.built ? kTextNoFirmwareData : ResultMessages[preview.failure];
    record_.failureReason = preview.problem.what.empty()
                                ? (file.empty() ? std::string("The image") : file) + ": " + message
                                : DescribeHexLoadProblem(file, preview.problem);
    record_.failureAdvice = "The image was not sent to the drive; correct or replace it.";
    return message;
  }
  // A pinned image that does not match is refused before the question.
  const ImageVerdict verdict = JudgeImage(preview, file, PinsOf(request_));
  RecordUnexpectedImage(
      record_, verdict.kind == ImageVerdictKind::kNotExpected ? verdict.reason : std::string());
  if (record_.imageNotExpected) {
    Stop(Outcome::kFailed);
    return kTextNotExpected;
  }
  return nullptr;
}

std::string ProgramQuestions::RefusalBeforeTray(const std::string& image) {
  Progress();
  // On a terminal the image is read, and may be named, before the question.
  if (!yes_ && frontEnd_.CanAsk()) return {};
  if (!yes_) {
    Stop(Outcome::kNotDownloaded);
    frontEnd_.PrintError(kTextNotConfirmed);
    return kTextNotConfirmed;
  }
  const bool tooLong = image.size() > static_cast<std::size_t>(kMaxImagePathLength);
  const std::string file = tooLong ? std::string() : image;
  if (file.empty() && !tooLong) {
    Stop(Outcome::kFailed);  // nothing to flash
    ExplainMissingImage();
    return ResultMessages[kResultCannotOpen];
  }
  const FirmwareImage preview = PreviewImage(request_, file, tooLong);
  record_.imageSha256 = preview.sha256;
  if (const char* refusal = RefuseImage(file, preview)) return refusal;
  // Nobody is asked: a warning that needs a person's answer refuses the
  // image (an all-0xFF image would erase the firmware, unless its SHA-256
  // was pinned).
  const ImageVerdict verdict = JudgeImage(preview, file, PinsOf(request_));
  for (const ImageWarning& warning : verdict.warnings) {
    if (!warning.mustConfirm) continue;
    Stop(Outcome::kFailed);
    record_.failureReason = warning.text + ".";
    record_.failureAdvice =
        "Nothing was sent to the drive. If this image is meant to be flashed, pin it with "
        "--expect-sha256 (its SHA-256 as sha256sum prints it).";
    return warning.text;
  }
  Warn(frontEnd_, record_, verdict);
  Prepare(file, preview);  // the download sends the image checked here
  return {};
}

std::string ProgramQuestions::Question(const std::string& file, std::uint16_t checksum) const {
  std::string model = "the drive";
  for (int row = 0; row < g_deviceCount; ++row) {
    const DeviceEntry& entry = DeviceTable[row];
    if (entry.adapterId == record_.chosenAdapter && entry.targetId == record_.chosenTarget)
      model = FullModelText(scan_, entry.adapterId, entry.targetId, entry.model);
  }
  char address[16];
  std::snprintf(address, sizeof address, "%u:%u", static_cast<unsigned>(record_.chosenAdapter),
                static_cast<unsigned>(record_.chosenTarget));
  char sum[8];
  std::snprintf(sum, sizeof sum, "%04X", static_cast<unsigned>(checksum));
  return "Download " + PrintableText(file) + " (checksum " + sum + ") to " + PrintableText(model) +
         " at " + address + "? [y/N] ";
}
