// The dialog templates of the program as data, in the format of
// winui/dialog_templates.h.
#include "resources/program_resources.h"

#include <algorithm>
#include <array>

#include "resources/resource_ids.h"
#include "winui/winapi.h"

namespace qtr5 {
namespace {

constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE;
// Push buttons and edit boxes are tab stops, as a resource script makes them
// unless told otherwise.
constexpr std::uint32_t kPushButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr std::uint32_t kDefaultButton = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;

constexpr const char* kBanner = "\nQTR5 (XPM-3177K) Download Utility\nVersion 1.04";
constexpr const char* kDepartment = "\nOptical Storage\nFirmware Group";

constexpr const char* kReleaseNoteHeader = "  Date\t\tVer.\tDescription";
constexpr const char* kReleaseNoteBody =
    "  00/08/18\t1.00\tConversion DOS tool 3.21\n"
    "  00/09/15\t1.01\tAdd : Check HEX address limit\n"
    "  00/09/27\t1.02\tAdd : Selecting more device\n"
    "  04/06/02\t1.03\tPorting for XPM-3177K";

const std::array<ControlTemplate, 11> kMainControls{{
    {kIdDownload, ControlKind::kButton, "&Download", 184, 207, 55, 18, kDefaultButton | WS_DISABLED,
     0},
    {kIdCancel, ControlKind::kButton, "&Cancel", 252, 207, 55, 18, kPushButton, 0},
    {kIdStatus, ControlKind::kStatic, "Message", 7, 180, 178, 16, kChild | SS_CENTER | SS_SUNKEN,
     0},
    {-1, ControlKind::kStatic, kBanner, 7, 7, 298, 42, kChild | SS_CENTER, WS_EX_STATICEDGE},
    {-1, ControlKind::kStatic, kDepartment, 7, 113, 109, 55, kChild | SS_CENTER, 0},
    {-1, ControlKind::kStatic, "F/W Filenmae :", 131, 65, 60, 13, kChild | SS_LEFT, 0},
    {kIdBrowse, ControlKind::kButton, "", 292, 63, 15, 15, kPushButton | BS_BITMAP, 0},
    {kIdPicture, ControlKind::kButton, "Button1", 7, 65, 116, 40,
     kChild | BS_PUSHBUTTON | BS_BITMAP | BS_FLAT, 0},
    {kIdReport, ControlKind::kListView, "List1", 130, 84, 177, 87,
     kChild | LVS_REPORT | LVS_NOSORTHEADER | WS_BORDER, 0},
    {kIdFileName, ControlKind::kEdit, "", 192, 63, 97, 15,
     kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0},
    {kIdProgress, ControlKind::kProgressBar, "Progress1", 188, 180, 119, 16, kChild | PBS_SMOOTH,
     0},
}};

const std::array<ControlTemplate, 3> kReleaseNoteControls{{
    {kIdReleaseNoteOk, ControlKind::kButton, "&OK", 94, 100, 52, 20, kDefaultButton, 0},
    {-1, ControlKind::kStatic, kReleaseNoteHeader, 7, 7, 216, 13, kChild | SS_LEFT | SS_SUNKEN, 0},
    {-1, ControlKind::kStatic, kReleaseNoteBody, 7, 21, 216, 74, kChild | SS_LEFT | SS_SUNKEN, 0},
}};

const std::array<ControlTemplate, 3> kSelectDeviceControls{{
    {kIdSelectOk, ControlKind::kButton, "&OK", 60, 100, 52, 20, kDefaultButton, 0},
    {kIdSelectCancel, ControlKind::kButton, "Cancel", 118, 100, 52, 20, kPushButton, 0},
    {kIdDeviceList, ControlKind::kListView, "", 7, 7, 216, 84,
     kChild | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_BORDER |
         WS_TABSTOP,
     0},
}};

constexpr std::uint32_t kDialogFrame =
    DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

const std::array<DialogTemplate, 3> kDialogs{{
    {kDialogMain, "QTR5 (XPM-3177K) Download Utility", "MS Sans Serif", 8, 100, 100, 314, 232,
     kDialogFrame | DS_SYSMODAL | WS_MINIMIZEBOX, 0, kMainControls},
    {kDialogReleaseNote, "Release Note...", "MS Sans Serif", 8, 0, 0, 230, 128, kDialogFrame, 0,
     kReleaseNoteControls},
    {kDialogSelectDevice, "Select Device", "MS Sans Serif", 8, 0, 0, 230, 128, kDialogFrame, 0,
     kSelectDeviceControls},
}};

constexpr std::array<int, 8> kBitmaps{kBitmapLogo,   kBitmapWait,      kBitmapOk,
                                      kBitmapNg,     kBitmapNoDevice,  kBitmapUnconfirmed,
                                      kBitmapBrowse, kBitmapIncomplete};
constexpr std::array<int, 1> kIcons{kIconApp};

}  // namespace

std::span<const DialogTemplate> AllDialogTemplates() {
  return kDialogs;
}

const DialogTemplate* FindDialogTemplate(int id) {
  auto found = std::find_if(kDialogs.begin(), kDialogs.end(),
                            [id](const DialogTemplate& dialog) { return dialog.id == id; });
  return found == kDialogs.end() ? nullptr : &*found;
}

std::span<const int> AllBitmapIds() {
  return kBitmaps;
}
std::span<const int> AllIconIds() {
  return kIcons;
}

const ModuleResources& ProgramResources() {
  static const ModuleResources resources{kDialogs, kBitmaps, kIcons};
  return resources;
}

}  // namespace qtr5
