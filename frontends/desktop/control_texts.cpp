// The names and descriptions a screen reader gives the controls of the
// program's windows. A button with a caption and a static text are named by
// what they show; the others get a name here.
#include <string_view>

#include "frontends/desktop/desktop_program.h"
#include "resources/resource_ids.h"

namespace qtr5 {
namespace {

AccessibleText MainWindowText(const ControlTemplate& control) {
  const std::string_view text = control.text;
  switch (control.id) {
    case kIdDownload:
      return {{}, "Sends the firmware file to the drive"};
    case kIdCancel:
      return {{}, "Closes the window"};
    case kIdStatus:
      return {{}, "Status: what the program is doing or has done"};
    case kIdBrowse:
      return {"Browse", "Chooses the firmware file"};
    case kIdPicture:
      // Until a state picture ("No Device", "OK!") names it.
      return {"Release notes",
              "The state of the drive and the download; click it for the release notes"};
    case kIdReport:
      return {"Drive and image",
              "The drive's adapter and target, model and firmware version; the image's check "
              "sum and the version after the download"};
    case kIdFileName:
      return {"Firmware file", "The firmware (HEX) file to download"};
    case kIdProgress:
      return {"Download progress", "How far the download has got"};
    default:
      break;
  }
  if (text.starts_with("F/W")) return {{}, "Names the firmware file box"};
  if (text.find("Version") != std::string_view::npos) return {{}, "Program name and version"};
  return {{}, "Who made the program"};
}

}  // namespace

PictureTable ProgramPictures() {
  PictureTable table;
  table.bitmaps = {{kBitmapLogo, "logo.bmp"},
                   {kBitmapWait, "wait.bmp"},
                   {kBitmapOk, "ok.bmp"},
                   {kBitmapNg, "ng.bmp"},
                   {kBitmapNoDevice, "no_device.bmp"},
                   {kBitmapUnconfirmed, "unconfirmed.bmp"},
                   {kBitmapIncomplete, "incomplete.bmp"},
                   {kBitmapBrowse, "open_folder.bmp"}};
  table.onButtonFace = {kBitmapBrowse};
  table.icons = {{kIconApp, "qtr5-download-%1.png"}};
  // The logo, the busy animation's second frame, keeps the name "Wait!".
  table.texts = {{kBitmapWait, "Wait!"},
                 {kBitmapOk, "OK!"},
                 {kBitmapNg, "NG!"},
                 {kBitmapNoDevice, "No Device"},
                 {kBitmapUnconfirmed, "Not Confirmed"},
                 {kBitmapIncomplete, "Flash Again!"}};
  return table;
}

ControlTexts ProgramControlTexts() {
  return [](int dialogId, const ControlTemplate& control) -> AccessibleText {
    switch (dialogId) {
      case kDialogMain:
        return MainWindowText(control);
      case kDialogReleaseNote:
        if (control.id == kIdReleaseNoteOk) return {{}, "Closes the release notes"};
        if (std::string_view(control.text).find("Date") != std::string_view::npos)
          return {{}, "Columns of the release notes"};
        return {{}, "The program's versions and what each changed"};
      case kDialogSelectDevice:
        if (control.id == kIdSelectOk) return {{}, "Uses the selected drive"};
        if (control.id == kIdSelectCancel) return {{}, "Closes the list without choosing a drive"};
        return {"Drives found",
                "Each drive's adapter and target, model and version: select the one to use"};
      default:
        return {};
    }
  };
}

}  // namespace qtr5
