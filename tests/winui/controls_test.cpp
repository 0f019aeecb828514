// Control behaviour the application relies on: edit notifications, text
// truncation, list views, progress bars, pictures, placement and handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resources/program_resources.h"
#include "test_dialog.h"
#include "tests/support/headless/headless.h"

namespace qtr5 {
namespace {

using test::Commands;
using test::TestProc;

class ControlsTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterProgramResources(nullptr);
    test::ResetProc();
    main_ = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, TestProc, 0);
    ASSERT_NE(main_, nullptr);
    ShowWindow(main_, SW_SHOW);
    test::g_received.clear();
  }
  void TearDown() override { test::ResetProc(); }

  LRESULT List(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(main_, 1000, message, wParam, lParam);
  }
  int InsertColumn(int index, const char* title) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<char*>(title);
    return static_cast<int>(List(LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)));
  }
  int InsertItem(int row, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(text);
    return static_cast<int>(List(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }
  BOOL SetCell(int row, int column, const char* text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(List(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }

  HeadlessDriver driver_;
  HWND main_ = nullptr;
};

TEST_F(ControlsTest, EditBoxReportsEveryTextChangeToItsDialog) {
  SetDlgItemTextA(main_, 1002, "QTR5_ORNA.HEX");
  SetDlgItemTextA(main_, 1002, "QTR5_ORNA.HEX");  // the same text again still notifies
  SetDlgItemTextA(main_, 1001, "Open Tray...");   // a static does not notify
  std::vector<std::pair<int, int>> expected{{1002, EN_CHANGE}, {1002, EN_CHANGE}};
  EXPECT_EQ(Commands(), expected);
  // The notification carries the edit box's handle, and the text is already there.
  for (const auto& r : test::g_received) {
    if (r.message == WM_COMMAND) {
      EXPECT_EQ(r.lParam, reinterpret_cast<LPARAM>(GetDlgItem(main_, 1002)));
    }
  }

  test::g_received.clear();
  std::string seen;
  test::g_handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
      char buffer[260];
      GetDlgItemTextA(window, 1002, buffer, sizeof buffer);
      seen = buffer;
    }
    return TRUE;
  };
  EXPECT_TRUE(driver_.Type(main_, 1002, "C.HEX"));
  EXPECT_EQ(seen, "C.HEX");
  EXPECT_TRUE(driver_.Type(main_, 1002, ""));
  EXPECT_EQ(seen, "");
  EXPECT_EQ(Commands().size(), 2u);

  // Nobody can type into a disabled box.
  EnableWindow(GetDlgItem(main_, 1002), FALSE);
  test::g_received.clear();
  EXPECT_FALSE(driver_.Type(main_, 1002, "D.HEX"));
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(driver_.Text(main_, 1002), "");
}

struct Truncation {
  int size;
  UINT returned;
  const char* buffer;
};

class TextTruncationTest : public ControlsTest, public testing::WithParamInterface<Truncation> {};

TEST_P(TextTruncationTest, GetDlgItemTextCopiesAtMostSizeMinusOneCharacters) {
  const Truncation& t = GetParam();
  SetDlgItemTextA(main_, 1002, "QTR5_ORNA.HEX");
  char buffer[300];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetDlgItemTextA(main_, 1002, buffer, t.size), t.returned);
  if (t.buffer == nullptr) {
    EXPECT_EQ(buffer[0], '#') << "a buffer of size 0 is not touched";
  } else {
    EXPECT_STREQ(buffer, t.buffer);
    EXPECT_EQ(buffer[std::strlen(t.buffer) + 1], '#') << "nothing written past the terminator";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TextTruncationTest,
                         testing::Values(Truncation{0, 0, nullptr}, Truncation{-4, 0, nullptr},
                                         Truncation{1, 0, ""}, Truncation{5, 4, "QTR5"},
                                         Truncation{13, 12, "QTR5_ORNA.HE"},
                                         Truncation{14, 13, "QTR5_ORNA.HEX"},
                                         Truncation{260, 13, "QTR5_ORNA.HEX"}));

TEST_F(ControlsTest, TextOfMissingControlsAndLengths) {
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(GetDlgItemTextA(main_, 4242, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "") << "a missing control leaves an empty string";
  EXPECT_EQ(SendDlgItemMessageA(main_, 1001, WM_GETTEXTLENGTH, 0, 0), 7);  // "Message"
  EXPECT_FALSE(SetDlgItemTextA(main_, 4242, "x"));
  // Window text of the dialog itself is its title.
  char title[64];
  EXPECT_EQ(GetWindowTextA(main_, title, sizeof title), 33);
  EXPECT_STREQ(title, "QTR5 (XPM-3177K) Download Utility");
}

TEST_F(ControlsTest, ListViewColumnsRowsAndCells) {
  EXPECT_EQ(InsertColumn(0, "Key"), 0);
  EXPECT_EQ(InsertColumn(1, "Value"), 1);
  EXPECT_EQ(InsertColumn(99, "Extra"), 2) << "a position past the end appends";
  EXPECT_EQ(List(LVM_SETCOLUMNWIDTH, 1, 141), TRUE);
  EXPECT_EQ(List(LVM_GETCOLUMNWIDTH, 1, 0), 141);
  EXPECT_EQ(List(LVM_SETCOLUMNWIDTH, 7, 10), FALSE);
  LVCOLUMNA retitle{};
  retitle.mask = LVCF_TEXT;
  retitle.pszText = const_cast<char*>("Wert");
  EXPECT_EQ(List(LVM_SETCOLUMNA, 1, reinterpret_cast<LPARAM>(&retitle)), TRUE);
  EXPECT_EQ(List(LVM_SETCOLUMNA, 5, reinterpret_cast<LPARAM>(&retitle)), FALSE);
  auto columns = driver_.Columns(main_, 1000);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[1].title, "Wert");
  EXPECT_EQ(columns[1].width, 141);

  EXPECT_EQ(InsertItem(0, "Adapter : Target ID"), 0);
  EXPECT_EQ(InsertItem(1, "Model Name"), 1);
  EXPECT_EQ(InsertItem(0, "First"), 0) << "inserting at 0 moves the others down";
  EXPECT_EQ(InsertItem(50, "Last"), 3);
  EXPECT_EQ(List(LVM_GETITEMCOUNT, 0, 0), 4);
  EXPECT_TRUE(SetCell(1, 1, "0 : 1"));
  EXPECT_FALSE(SetCell(4, 1, "no such row"));
  EXPECT_FALSE(SetCell(1, 3, "no such column"));
  EXPECT_EQ(driver_.Cell(main_, 1000, 1, 0), "Adapter : Target ID");
  EXPECT_EQ(driver_.Cell(main_, 1000, 1, 1), "0 : 1");
  EXPECT_EQ(driver_.Cell(main_, 1000, 2, 1), "");

  LVITEMA get{};
  char text[4];
  get.iSubItem = 0;
  get.pszText = text;
  get.cchTextMax = sizeof text;
  EXPECT_EQ(List(LVM_GETITEMTEXTA, 2, reinterpret_cast<LPARAM>(&get)), 3);
  EXPECT_STREQ(text, "Mod");
  EXPECT_EQ(List(LVM_DELETEALLITEMS, 0, 0), TRUE);
  EXPECT_EQ(List(LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(ControlsTest, ListViewSelectionFollowsTheSelectionStyle) {
  // The main report allows several selected rows; the Select Device list one.
  HWND select = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(106), main_, TestProc, 0);
  ASSERT_NE(select, nullptr);
  for (HWND dialog : {main_, select}) {
    int id = dialog == main_ ? 1000 : 1007;
    HWND list = GetDlgItem(dialog, id);
    for (int row = 0; row < 3; ++row) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = const_cast<char*>("row");
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED), 0);
    LVITEMA state{};
    state.state = LVIS_SELECTED;
    state.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
    SendMessageA(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMSTATE, 1, LVIS_SELECTED), LVIS_SELECTED);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMSTATE, 1, LVIS_FOCUSED), 0) << "masked";
    std::vector<int> expected = dialog == main_ ? std::vector<int>{1, 2} : std::vector<int>{1};
    EXPECT_EQ(driver_.SelectedRows(dialog, id), expected);
    EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    EXPECT_EQ(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0),
              static_cast<LRESULT>(expected.size()));
    EXPECT_EQ(SendMessageA(list, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&state)), FALSE);
    EXPECT_EQ(SendMessageA(list, LVM_GETITEMSTATE, 7, LVIS_SELECTED), 0);
    // Clearing every row.
    state.state = 0;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    EXPECT_TRUE(driver_.SelectedRows(dialog, id).empty());
  }
}

TEST_F(ControlsTest, ProgressBarClampsToItsRangeAndRepaintsWhenItMoves) {
  HWND bar = GetDlgItem(main_, 1005);
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100)), MAKELONG(0, 100));
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(10, 50)), MAKELONG(0, 100));
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 30, 0), 10) << "the range change moved it to 10";
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 500, 0), 30);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 50);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  int repaints = driver_.RepaintCount(bar);
  SendMessageA(bar, PBM_SETPOS, 42, 0);
  SendMessageA(bar, PBM_SETPOS, 42, 0);
  EXPECT_EQ(driver_.RepaintCount(bar), repaints + 1) << "repainted once: only the move shows";
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(-5), 0);
  EXPECT_EQ(driver_.Progress(main_, 1005), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
  std::vector<int> history{10, 30, 50, 42, 42, 0};
  EXPECT_EQ(driver_.ProgressHistory(main_, 1005), history);
}

TEST_F(ControlsTest, PicturesAndIconsCarryTheirResourceIds) {
  HBITMAP logo = LoadBitmapA(nullptr, MAKEINTRESOURCEA(101));
  HBITMAP ok = LoadBitmapA(nullptr, MAKEINTRESOURCEA(104));
  ASSERT_NE(logo, nullptr);
  EXPECT_NE(LoadBitmapA(nullptr, MAKEINTRESOURCEA(101)), logo) << "every load is a new object";
  EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(102)), nullptr) << "102 is no bitmap";
  EXPECT_EQ(LoadBitmapA(nullptr, "QTR5_LOGO"), nullptr);
  HWND picture = GetDlgItem(main_, 1017);
  EXPECT_EQ(SendMessageA(picture, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo)), 0);
  EXPECT_EQ(SendMessageA(picture, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(ok)),
            reinterpret_cast<LRESULT>(logo));
  EXPECT_EQ(driver_.Picture(main_, 1017), 104);
  EXPECT_EQ(driver_.PictureHistory(main_, 1017), (std::vector<int>{101, 104}));
  EXPECT_TRUE(DeleteObject(logo));
  EXPECT_FALSE(DeleteObject(logo));

  HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(108));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(109)), nullptr);
  EXPECT_EQ(SendMessageA(main_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
  EXPECT_EQ(IconResourceId(main_, ICON_SMALL), 108);
  EXPECT_EQ(IconResourceId(main_, ICON_BIG), 0);
}

TEST_F(ControlsTest, RectanglesAreDialogUnitsTurnedIntoPixels) {
  RECT dialog{};
  RECT list{};
  ASSERT_TRUE(GetWindowRect(main_, &dialog));
  ASSERT_TRUE(GetWindowRect(GetDlgItem(main_, 1000), &list));
  // 6 x 13 base units: 177 x 87 units are 265.5 (rounded 266) x 141.4 (141) pixels.
  EXPECT_EQ(list.right - list.left, 266);
  EXPECT_EQ(list.bottom - list.top, 141);
  EXPECT_EQ(list.left - dialog.left, 3 + 195);
  EXPECT_EQ(dialog.left, 150);
  EXPECT_EQ(dialog.top, 163);
  RECT client{};
  GetClientRect(main_, &client);
  EXPECT_EQ(client.right, 471);
  EXPECT_EQ(client.bottom, 377);

  // Moving the window moves its controls; the size is kept with SWP_NOSIZE.
  EXPECT_TRUE(IsTopmostWindow(main_)) << "the main template is system-modal";
  SetWindowPos(main_, HWND_NOTOPMOST, 10, 20, 0, 0, SWP_NOSIZE);
  EXPECT_FALSE(IsTopmostWindow(main_));
  RECT moved{};
  GetWindowRect(main_, &moved);
  EXPECT_EQ(moved.left, 10);
  EXPECT_EQ(moved.right - moved.left, dialog.right - dialog.left);
  RECT listMoved{};
  GetWindowRect(GetDlgItem(main_, 1000), &listMoved);
  EXPECT_EQ(listMoved.left - list.left, 10 - dialog.left);
  RECT units{0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(main_, &units));
  EXPECT_EQ(units.right, 6);
  EXPECT_EQ(units.bottom, 13);
}

class WideFontDriver : public HeadlessDriver {
 public:
  DialogBaseUnits BaseUnits() const override { return {8, 16}; }
};

TEST(ControlsWithFont, TheBackendsFontDecidesThePixels) {
  WideFontDriver driver;
  RegisterProgramResources(nullptr);
  HWND main = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, nullptr, 0);
  RECT list{};
  ASSERT_TRUE(GetWindowRect(GetDlgItem(main, 1000), &list));
  EXPECT_EQ(list.right - list.left, 354);
  EXPECT_EQ(list.bottom - list.top, 174);
}

TEST_F(ControlsTest, StaleAndMadeUpHandlesAreRejected) {
  HWND stale = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(105), nullptr, TestProc, 0);
  HWND staleButton = GetDlgItem(stale, 1);
  ASSERT_TRUE(DestroyWindow(stale));
  EXPECT_FALSE(DestroyWindow(stale));
  HWND fresh = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(105), nullptr, TestProc, 0);
  EXPECT_NE(fresh, stale) << "handles are never reused";
  for (HWND bad : {stale, staleButton, reinterpret_cast<HWND>(1), reinterpret_cast<HWND>(0x12345),
                   static_cast<HWND>(nullptr)}) {
    RECT rect{};
    EXPECT_FALSE(IsWindow(bad));
    EXPECT_EQ(SendMessageA(bad, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);
    EXPECT_FALSE(GetWindowRect(bad, &rect));
    EXPECT_FALSE(EnableWindow(bad, FALSE));
    EXPECT_FALSE(ShowWindow(bad, SW_SHOW));
    EXPECT_EQ(GetDlgItem(bad, 1), nullptr);
    EXPECT_FALSE(PostClick(bad));
    if (bad != nullptr) {
      EXPECT_FALSE(PostMessageA(bad, WM_CLOSE, 0, 0));
    }
  }
  EXPECT_TRUE(PostMessageA(nullptr, WM_USER, 0, 0)) << "a thread message needs no window";
}

}  // namespace
}  // namespace qtr5
