// DownloadApp::ReadImageFile: the image named in the file name box, built
// in the device's data buffer, and its 16-bit byte sum.
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/download_app.h"
#include "app/resource_ids.h"
#include "app/run_options.h"
#include "image/hex_loader.h"
#include "image/image_checksum.h"
#include "image/result_codes.h"

namespace {

constexpr int kPathSize = 260;
constexpr int kChecksumRow = 1;
constexpr const char* kTextReading = "Reading File...";
constexpr const char* kTextReadOk = "Reading is success!";

}  // namespace

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
    ShowText(kIdStatus, ResultMessages[kResultCannotOpen]);
    return 0;
  }
  if (device.dataBuffer == nullptr) {
    ShowText(kIdStatus, kTextOutOfMemory);
    return 0;
  }
  std::size_t dataBytes = 0;
  if (!LoadHexImage(path, device.dataBuffer, dataBytes)) {
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
  ShowText(kIdStatus, kTextReadOk);
  return 1;
}
