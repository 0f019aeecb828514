// The dialog templates: the one description of the windows every platform builds.
#include "resources/program_resources.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "text/version.h"
#include "winui/win32.h"

namespace qtr5 {
namespace {

struct ControlExpectation {
  int dialog;
  int id;
  ControlKind kind;
  const char* text;
  int x, y, cx, cy;
  std::uint32_t required;   // style bits that must be set
  std::uint32_t forbidden;  // style bits that must be clear
};

class ControlTemplateTest : public testing::TestWithParam<ControlExpectation> {};

TEST_P(ControlTemplateTest, MatchesTheDialogLayout) {
  const ControlExpectation& e = GetParam();
  const DialogTemplate* dialog = FindDialogTemplate(e.dialog);
  ASSERT_NE(dialog, nullptr);
  const ControlTemplate* control = nullptr;
  for (const ControlTemplate& c : dialog->controls) control = c.id == e.id ? &c : control;
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->kind, e.kind);
  EXPECT_STREQ(control->text, e.text);
  EXPECT_EQ(control->x, e.x);
  EXPECT_EQ(control->y, e.y);
  EXPECT_EQ(control->cx, e.cx);
  EXPECT_EQ(control->cy, e.cy);
  EXPECT_EQ(control->style & e.required, e.required) << std::hex << control->style;
  EXPECT_EQ(control->style & e.forbidden, 0u) << std::hex << control->style;
}

constexpr std::uint32_t kShown = WS_CHILD | WS_VISIBLE;

INSTANTIATE_TEST_SUITE_P(
    Controls, ControlTemplateTest,
    testing::Values(ControlExpectation{102, 1, ControlKind::kButton, "&Download", 184, 207, 55, 18,
                                       kShown | BS_DEFPUSHBUTTON | WS_DISABLED | WS_TABSTOP, 0},
                    ControlExpectation{102, 8, ControlKind::kButton, "&Cancel", 252, 207, 55, 18,
                                       kShown | WS_TABSTOP, WS_DISABLED | BS_DEFPUSHBUTTON},
                    ControlExpectation{102, 1001, ControlKind::kStatic, "Message", 7, 180, 178, 16,
                                       kShown | SS_CENTER | SS_SUNKEN, 0},
                    ControlExpectation{102, 1004, ControlKind::kButton, "", 292, 63, 15, 15,
                                       kShown | BS_BITMAP, WS_DISABLED | BS_DEFPUSHBUTTON},
                    ControlExpectation{102, 1017, ControlKind::kButton, "Button1", 7, 65, 116, 40,
                                       kShown | BS_BITMAP | BS_FLAT, WS_TABSTOP | WS_DISABLED},
                    ControlExpectation{102, 1000, ControlKind::kListView, "List1", 130, 84, 177, 87,
                                       kShown | LVS_REPORT | LVS_NOSORTHEADER | WS_BORDER,
                                       LVS_SINGLESEL},
                    ControlExpectation{102, 1002, ControlKind::kEdit, "", 192, 63, 97, 15,
                                       kShown | ES_AUTOHSCROLL | WS_BORDER, WS_DISABLED},
                    ControlExpectation{102, 1005, ControlKind::kProgressBar, "Progress1", 188, 180,
                                       119, 16, kShown | PBS_SMOOTH, 0},
                    ControlExpectation{105, 1, ControlKind::kButton, "&OK", 94, 100, 52, 20,
                                       kShown | BS_DEFPUSHBUTTON, WS_DISABLED},
                    ControlExpectation{106, 1, ControlKind::kButton, "&OK", 60, 100, 52, 20,
                                       kShown | BS_DEFPUSHBUTTON, WS_DISABLED},
                    ControlExpectation{106, 2, ControlKind::kButton, "Cancel", 118, 100, 52, 20,
                                       kShown | BS_PUSHBUTTON | WS_TABSTOP, WS_DISABLED},
                    ControlExpectation{106, 1007, ControlKind::kListView, "", 7, 7, 216, 84,
                                       kShown | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                                           LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP,
                                       0}),
    [](const testing::TestParamInfo<ControlExpectation>& info) {
      return "Dialog" + std::to_string(info.param.dialog) + "Control" +
             std::to_string(info.param.id);
    });

TEST(DialogTemplates, DialogsHaveTheirTitlesFramesAndFont) {
  struct Expectation {
    int id;
    const char* title;
    int x, y, cx, cy;
    bool systemModal;
  };
  const Expectation expectations[] = {
      {102, "QTR5 (XPM-3177K) Download Utility", 100, 100, 314, 232, true},
      {105, "Release Note...", 0, 0, 230, 128, false},
      {106, "Select Device", 0, 0, 230, 128, false},
  };
  ASSERT_EQ(AllDialogTemplates().size(), std::size(expectations));
  for (const Expectation& e : expectations) {
    SCOPED_TRACE(e.id);
    const DialogTemplate* dialog = FindDialogTemplate(e.id);
    ASSERT_NE(dialog, nullptr);
    EXPECT_STREQ(dialog->title, e.title);
    EXPECT_STREQ(dialog->fontName, "MS Sans Serif");
    EXPECT_EQ(dialog->fontPointSize, 8);
    EXPECT_EQ(dialog->x, e.x);
    EXPECT_EQ(dialog->y, e.y);
    EXPECT_EQ(dialog->cx, e.cx);
    EXPECT_EQ(dialog->cy, e.cy);
    const std::uint32_t frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(dialog->style & frame, frame);
    EXPECT_EQ((dialog->style & DS_SYSMODAL) != 0, e.systemModal);
    EXPECT_EQ((dialog->style & WS_MINIMIZEBOX) != 0, e.id == 102);
    EXPECT_EQ(dialog->style & WS_VISIBLE, 0u) << "the program shows its windows itself";
  }
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
  EXPECT_EQ(FindDialogTemplate(0), nullptr);
}

TEST(DialogTemplates, ControlIdentifiersAreUniqueAndEveryControlIsAVisibleChild) {
  for (const DialogTemplate& dialog : AllDialogTemplates()) {
    std::set<int> ids;
    for (const ControlTemplate& control : dialog.controls) {
      EXPECT_EQ(control.style & kShown, kShown) << dialog.id << "/" << control.id;
      if (control.id != -1) {
        EXPECT_TRUE(ids.insert(control.id).second) << "duplicate " << control.id;
      }
      // Every control fits inside its dialog.
      EXPECT_LE(control.x + control.cx, dialog.cx) << dialog.id << "/" << control.text;
      EXPECT_LE(control.y + control.cy, dialog.cy) << dialog.id << "/" << control.text;
    }
  }
}

TEST(DialogTemplates, MainWindowStaticsCarryBannerDepartmentAndLabel) {
  const DialogTemplate& main = *FindDialogTemplate(102);
  std::vector<const ControlTemplate*> statics;
  for (const ControlTemplate& control : main.controls) {
    if (control.id == -1) statics.push_back(&control);
  }
  ASSERT_EQ(statics.size(), 3u);
  const ControlTemplate& banner = *statics[0];
  EXPECT_EQ(banner.kind, ControlKind::kStatic);
  EXPECT_EQ(banner.x, 7);
  EXPECT_EQ(banner.cx, 298);
  EXPECT_EQ(banner.cy, 42);
  EXPECT_NE(banner.style & SS_CENTER, 0u);
  EXPECT_NE(banner.exStyle & WS_EX_STATICEDGE, 0u);
  std::string bannerText = banner.text;
  EXPECT_NE(bannerText.find(kProgramTitle), std::string::npos) << bannerText;
  EXPECT_NE(bannerText.find(kProgramVersion), std::string::npos) << bannerText;

  const ControlTemplate& department = *statics[1];
  EXPECT_EQ(department.y, 113);
  EXPECT_EQ(department.cx, 109);
  EXPECT_NE(department.style & SS_CENTER, 0u);
  EXPECT_GT(std::string(department.text).size(), 0u);

  EXPECT_STREQ(statics[2]->text, "F/W Filenmae :");
  EXPECT_EQ(statics[2]->x, 131);
}

TEST(DialogTemplates, ReleaseNoteKeepsItsTabsAndLineBreaks) {
  const DialogTemplate& note = *FindDialogTemplate(105);
  ASSERT_EQ(note.controls.size(), 3u);
  EXPECT_STREQ(note.controls[1].text, "  Date\t\tVer.\tDescription");
  EXPECT_STREQ(note.controls[2].text,
               "  00/08/18\t1.00\tConversion DOS tool 3.21\n"
               "  00/09/15\t1.01\tAdd : Check HEX address limit\n"
               "  00/09/27\t1.02\tAdd : Selecting more device\n"
               "  04/06/02\t1.03\tPorting for XPM-3177K");
  for (int i : {1, 2}) EXPECT_NE(note.controls[i].style & SS_SUNKEN, 0u);
  EXPECT_EQ(note.controls[1].cy, 13);
  EXPECT_EQ(note.controls[2].y, 21);
  EXPECT_EQ(note.controls[2].cy, 74);
}

TEST(DialogTemplates, ClassNamesAndResourceLists) {
  EXPECT_STREQ(ControlClassName(ControlKind::kButton), "button");
  EXPECT_STREQ(ControlClassName(ControlKind::kStatic), "static");
  EXPECT_STREQ(ControlClassName(ControlKind::kEdit), "edit");
  EXPECT_STREQ(ControlClassName(ControlKind::kListView), "SysListView32");
  EXPECT_STREQ(ControlClassName(ControlKind::kProgressBar), "msctls_progress32");
  std::vector<int> bitmaps(AllBitmapIds().begin(), AllBitmapIds().end());
  EXPECT_EQ(bitmaps, (std::vector<int>{101, 103, 104, 105, 106, 107, 109, 110}));
  std::vector<int> icons(AllIconIds().begin(), AllIconIds().end());
  EXPECT_EQ(icons, (std::vector<int>{108}));
}

}  // namespace
}  // namespace qtr5
