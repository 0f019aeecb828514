#include "program/automation.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_options.h"
#include "aspi/aspi_provider.h"
#include "discovery/device_table.h"
#include "discovery/scan_record.h"
#include "image/hex_loader.h"
#include "image/image_checksum.h"
#include "image/regular_file.h"
#include "image/result_codes.h"
#include "program/program_front_end.h"
#include "resources/resource_ids.h"
#include "text/printable.h"
#include "winui/winapi.h"

namespace {

constexpr const char* kTextNotConfirmed =
    "Not downloading without --yes when standard input is not a terminal";

bool ControlEnabled(int id) {
  HWND control = GetDlgItem(g_app->mainWindow, id);
  return control != nullptr && IsWindowEnabled(control) != FALSE;
}

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

// The name in the file name box; empty when there is none or it is longer
// than the Download command accepts (`tooLong` then set).
std::string ImageFileName(HWND window, bool& tooLong) {
  char file[260] = {};
  GetDlgItemTextA(window, kIdFileName, file, sizeof file);
  const LRESULT length = SendDlgItemMessageA(window, kIdFileName, WM_GETTEXTLENGTH, 0, 0);
  tooLong = length >= static_cast<LRESULT>(sizeof file);
  return tooLong ? std::string() : std::string(file);
}

}  // namespace

// The image the Download command would send, read the same way but into a
// buffer of its own, so that the question can name its checksum and a file
// that cannot be read is found out before the user is asked.
struct ImagePreview {
  bool built = false;
  ResultCode failure = kResultNoError;  // when not built
  HexLoadProblem problem;               // what failed, when not built
  std::uint16_t checksum = 0;
  bool empty = false;               // every byte 0xFF: no firmware at all
  bool noData = false;              // not a single data byte stored: never sent
  std::size_t dataBytes = 0;        // bytes of the image the file sets
  std::vector<std::uint8_t> image;  // when built: the bytes the question names
};

namespace {

ImagePreview PreviewImage(const std::string& file, bool tooLong) {
  ImagePreview preview;
  if (tooLong || file.empty()) {
    preview.failure = kResultCannotOpen;
    return preview;
  }
  std::vector<std::uint8_t> image(kFirmwareImageSize, 0xFF);
  std::size_t dataBytes = 0;
  // The file's digest is taken when a pinned one is to be compared with it.
  g_runOutcome.imageSha256.clear();
  std::string* sha256 = g_runOptions.expectedSha256.empty() ? nullptr : &g_runOutcome.imageSha256;
  if (!LoadHexImage(file.c_str(), image.data(), dataBytes, &preview.problem, sha256)) {
    preview.failure = g_resultCode < kResultCodeCount ? g_resultCode : kResultCannotOpen;
    return preview;
  }
  preview.noData = dataBytes == 0;
  preview.dataBytes = dataBytes;
  preview.built = true;
  preview.checksum = ImageChecksum(image.data());
  preview.image = std::move(image);
  preview.empty = true;
  for (const std::uint8_t byte : preview.image) preview.empty = preview.empty && byte == 0xFF;
  return preview;
}

// The default image is there but the probe, which opens it for reading and
// writing, passed it over.
// An image that sets only a few bytes is said before it is sent (and kept
// for the run's summary).
void WarnOfFewBytes(ProgramFrontEnd& frontEnd, const std::string& file, std::size_t dataBytes) {
  g_runOutcome.imageWarning = FewDataBytesWarning(file, dataBytes);
  if (!g_runOutcome.imageWarning.empty())
    frontEnd.PrintError("Warning: " + PrintableText(g_runOutcome.imageWarning));
}

bool DefaultImageNotWritable() {
  int failure = 0;
  std::FILE* file = OpenRegularFile(kDefaultImageName, true, failure);
  if (file != nullptr) std::fclose(file);
  std::error_code error;  // only for the explanation: nothing is read by this name
  return file == nullptr && failure != 0 &&
         std::filesystem::is_regular_file(kDefaultImageName, error);
}

}  // namespace

DownloadAutomation::DownloadAutomation(const ProgramOptions& options, ProgramFrontEnd& frontEnd)
    : yes_(options.yes), hasImage_(options.hasImage), frontEnd_(frontEnd) {}

bool DownloadAutomation::OnIdle() {
  if (g_app == nullptr || g_app->mainWindow == nullptr) return false;
  return Step();
}

bool DownloadAutomation::Step() {
  switch (stage_) {
    case Stage::kStart:
      return Start();
    case Stage::kBrowsing:
      // The open-file question was answered (or not): a name enables Download.
      if (ControlEnabled(kIdDownload)) return ConfirmDownload();
      noImage_ = true;
      stage_ = Stage::kDone;
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
  if (!g_runOutcome.driveChosen || g_runOutcome.refusedBeforeTray) return false;
  if (ControlEnabled(kIdDownload)) return ConfirmDownload();
  // No image yet (the default image is missing). On a terminal the user may
  // name one, as the browse button lets them; --yes never asks.
  if (!yes_ && frontEnd_.CanAsk() && ControlEnabled(kIdBrowse)) {
    if (!hasImage_ && DefaultImageNotWritable()) ExplainMissingImage();
    stage_ = Stage::kBrowsing;
    PostButton(kIdBrowse);
    return true;
  }
  noImage_ = true;
  ExplainMissingImage();
  return false;
}

void DownloadAutomation::ExplainMissingImage() {
  const std::string name = kDefaultImageName;
  if (!hasImage_ && DefaultImageNotWritable()) {
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
    guardWarning_ = provider->GuardLimits(g_runOutcome.chosenAdapter, g_runOutcome.chosenTarget);
  }
  if (!guardWarning_.empty()) frontEnd_.PrintError("Warning: " + PrintableText(guardWarning_));
}

bool DownloadAutomation::ConfirmDownload() {
  if (yes_) {
    TellGuardLimits();
    return ClickDownload();
  }
  if (!frontEnd_.CanAsk()) {
    notConfirmed_ = true;
    stage_ = Stage::kDone;
    frontEnd_.PrintError(kTextNotConfirmed);
    return false;
  }
  bool tooLong = false;
  const std::string file = ImageFileName(g_app->mainWindow, tooLong);
  const ImagePreview preview = PreviewImage(file, tooLong);
  if (const char* refusal = RefuseImage(file, preview)) {
    g_app->ShowText(kIdStatus, refusal);
    return false;
  }
  if (preview.empty) {
    frontEnd_.PrintError("Warning: " + PrintableText(file) +
                         " holds no firmware (every byte of its image is 0xFF): downloading it "
                         "would erase the drive's firmware");
  }
  WarnOfFewBytes(frontEnd_, file, preview.dataBytes);
  TellGuardLimits();
  const std::optional<std::string> answer = frontEnd_.Ask(Question(preview.checksum));
  if (answer && IsYes(*answer)) {
    // The download reads the file again; it sends only what was confirmed.
    g_runOptions.confirmedImage = preview.image;
    return ClickDownload();
  }
  declined_ = true;
  stage_ = Stage::kDone;
  g_app->ShowText(kIdStatus, ResultMessages[kResultCanceledByUser]);
  return false;
}

const char* DownloadAutomation::RefuseImage(const std::string& file, const ImagePreview& preview) {
  if (!preview.built || preview.noData) {
    // Nothing is asked and nothing sent: the run ends as a failed image read.
    imageUnreadable_ = true;
    stage_ = Stage::kDone;
    const char* message = preview.built ? kTextNoFirmwareData : ResultMessages[preview.failure];
    frontEnd_.PrintError((file.empty() ? std::string("The image") : PrintableText(file)) + ": " +
                         message + " Nothing was sent to the drive.");
    if (!preview.problem.what.empty()) {
      g_runOutcome.failureReason = DescribeHexLoadProblem(file, preview.problem);
      frontEnd_.PrintError(PrintableText(g_runOutcome.failureReason));
    }
    return message;
  }
  // A pinned image that does not match is refused before the question.
  if (!IsTheExpectedImage(file.c_str(), g_runOutcome.imageSha256, preview.checksum)) {
    imageUnreadable_ = true;
    stage_ = Stage::kDone;
    return kTextNotExpected;
  }
  return nullptr;
}

std::string DownloadAutomation::RefusalBeforeTray(HWND mainWindow) {
  // On a terminal the image is read, and may be named, before the question.
  if (!yes_ && frontEnd_.CanAsk()) return {};
  if (!yes_) {
    notConfirmed_ = true;
    stage_ = Stage::kDone;
    frontEnd_.PrintError(kTextNotConfirmed);
    return kTextNotConfirmed;
  }
  bool tooLong = false;
  const std::string file = ImageFileName(mainWindow, tooLong);
  if (file.empty() && !tooLong) {
    noImage_ = true;
    stage_ = Stage::kDone;
    ExplainMissingImage();
    return ResultMessages[kResultCannotOpen];
  }
  const ImagePreview preview = PreviewImage(file, tooLong);
  const char* refusal = RefuseImage(file, preview);
  if (refusal == nullptr) WarnOfFewBytes(frontEnd_, file, preview.dataBytes);
  return refusal != nullptr ? refusal : std::string();
}

bool DownloadAutomation::ClickDownload() {
  stage_ = Stage::kDownloadClicked;
  PostButton(kIdDownload);
  return true;
}

std::string DownloadAutomation::Question(std::uint16_t checksum) const {
  char file[260] = {};
  GetDlgItemTextA(g_app->mainWindow, kIdFileName, file, sizeof file);
  std::string model = "the drive";
  for (int row = 0; row < g_deviceCount; ++row) {
    const DeviceEntry& entry = DeviceTable[row];
    if (entry.adapterId == g_runOutcome.chosenAdapter &&
        entry.targetId == g_runOutcome.chosenTarget)
      model = FullModelText(entry.adapterId, entry.targetId, entry.model);
  }
  char address[16];
  std::snprintf(address, sizeof address, "%u:%u", static_cast<unsigned>(g_runOutcome.chosenAdapter),
                static_cast<unsigned>(g_runOutcome.chosenTarget));
  char sum[8];
  std::snprintf(sum, sizeof sum, "%04X", static_cast<unsigned>(checksum));
  return "Download " + PrintableText(file) + " (checksum " + sum + ") to " + PrintableText(model) +
         " at " + address + "? [y/N] ";
}
