// The frame of the program's windows: title-bar buttons and fixed size from
// the template's window style, and where a window opens (an owned dialog at
// its template position in its owner's client area, kept on the screen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "frontends/desktop/desktop_program.h"
#include "resources/program_resources.h"
#include "resources/resource_ids.h"
#include "winui/backend.h"
#include "winui/qt/qt_backend.h"
#include "winui/qt/qt_window_frame.h"

namespace {

// A dialog frame as the templates use it.
constexpr std::uint32_t kFrame = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr std::uint32_t kMaximizeBox = 0x00010000;
constexpr std::uint32_t kThickFrame = 0x00040000;

struct StyleCase {
  const char* name;
  std::uint32_t style;
  bool owned;
  bool title, close, minimize, maximize;
};

void PrintTo(const StyleCase& c, std::ostream* out) {
  *out << c.name;
}

class WindowFlagsTest : public ::testing::TestWithParam<StyleCase> {};

TEST_P(WindowFlagsTest, TitleBarButtonsFollowTheStyleBits) {
  const StyleCase& c = GetParam();
  const Qt::WindowFlags flags = qtr5::WindowFlagsForStyle(c.style, c.owned);
  EXPECT_EQ(flags & Qt::WindowType_Mask, c.owned ? Qt::Dialog : Qt::Window);
  // Without it Qt adds the buttons it thinks a window of the type should have.
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_EQ(bool(flags & Qt::WindowTitleHint), c.title);
  EXPECT_EQ(bool(flags & Qt::WindowCloseButtonHint), c.close);
  EXPECT_EQ(bool(flags & Qt::WindowSystemMenuHint), c.close);
  EXPECT_EQ(bool(flags & Qt::WindowMinimizeButtonHint), c.minimize);
  EXPECT_EQ(bool(flags & Qt::WindowMaximizeButtonHint), c.maximize);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, WindowFlagsTest,
    ::testing::Values(
        StyleCase{"MainWindow", kFrame | DS_SYSMODAL | WS_MINIMIZEBOX, false, true, true, true,
                  false},
        StyleCase{"OwnedDialog", kFrame, true, true, true, false, false},
        StyleCase{"MinimizeBoxOnAnOwnedDialog", kFrame | WS_MINIMIZEBOX, true, true, true, true,
                  false},
        StyleCase{"MaximizeBox", kFrame | kMaximizeBox, false, true, true, false, true},
        // The buttons live in the system menu's part of the title bar.
        StyleCase{"NoSystemMenu", DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_MINIMIZEBOX, false,
                  true, false, false, false},
        // WS_BORDER alone is half of WS_CAPTION: a border, no title bar.
        StyleCase{"BorderOnly", WS_POPUP | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX, true, false,
                  false, false, false},
        StyleCase{"NoCaption", WS_POPUP | WS_SYSMENU, false, false, false, false, false}),
    [](const ::testing::TestParamInfo<StyleCase>& info) { return std::string(info.param.name); });

TEST(WindowStyleTest, OnlyASizingBorderMakesAWindowResizable) {
  for (const qtr5::DialogTemplate& t : qtr5::AllDialogTemplates())
    EXPECT_FALSE(qtr5::IsResizableStyle(t.style)) << t.id;
  EXPECT_TRUE(qtr5::IsResizableStyle(kFrame | kThickFrame));
  EXPECT_FALSE(qtr5::IsResizableStyle(kFrame | kMaximizeBox | WS_MINIMIZEBOX));
}

struct ScreenCase {
  const char* name;
  QRect frame;
  QRect screen;
  QPoint expected;
};

void PrintTo(const ScreenCase& c, std::ostream* out) {
  *out << c.name;
}

class KeepOnScreenTest : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(KeepOnScreenTest, MovesTheFrameInsideTheScreen) {
  const ScreenCase& c = GetParam();
  EXPECT_EQ(qtr5::KeepOnScreen(c.frame, c.screen), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, KeepOnScreenTest,
    ::testing::Values(ScreenCase{"Inside", QRect(100, 50, 400, 200), QRect(0, 0, 800, 600),
                                 QPoint(100, 50)},
                      ScreenCase{"TouchingTheCorner", QRect(400, 400, 400, 200),
                                 QRect(0, 0, 800, 600), QPoint(400, 400)},
                      ScreenCase{"PastTheRightAndBottom", QRect(700, 500, 400, 200),
                                 QRect(0, 0, 800, 600), QPoint(400, 400)},
                      ScreenCase{"PastTheLeftAndTop", QRect(-30, -5, 400, 200),
                                 QRect(0, 0, 800, 600), QPoint(0, 0)},
                      // A second screen, or a panel taking the top of the screen.
                      ScreenCase{"ScreenNotAtTheOrigin", QRect(1000, 10, 400, 200),
                                 QRect(800, 30, 1024, 738), QPoint(1000, 30)},
                      ScreenCase{"PastTheFarEdgeOfASecondScreen", QRect(1800, 700, 400, 200),
                                 QRect(800, 30, 1024, 738), QPoint(1424, 568)},
                      // The title bar stays reachable.
                      ScreenCase{"LargerThanTheScreen", QRect(50, 50, 900, 700),
                                 QRect(0, 0, 800, 600), QPoint(0, 0)}),
    [](const ::testing::TestParamInfo<ScreenCase>& info) { return std::string(info.param.name); });

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The program's templates made into windows: the main window on its own,
// the small dialogs owned by it.
class TemplateFrameTest : public ::testing::TestWithParam<int> {
 protected:
  TemplateFrameTest() {
    qtr5::ResetWindowSystem();
    installed_ = std::make_unique<qtr5::ScopedBackend>(backend_);
  }
  ~TemplateFrameTest() override {
    installed_.reset();
    qtr5::ResetWindowSystem();
    QApplication::processEvents();
  }
  HWND Create(int id, HWND owner) {
    return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(id), owner, QuietProc, 0);
  }

  qtr5::QtBackend backend_{qtr5::ProgramPictures()};
  std::unique_ptr<qtr5::ScopedBackend> installed_;
};

TEST_P(TemplateFrameTest, HasOnlyTheButtonsOfItsTemplateAndAFixedSize) {
  const int id = GetParam();
  HWND main = Create(kDialogMain, nullptr);
  ASSERT_NE(main, nullptr);
  HWND dialog = id == kDialogMain ? main : Create(id, main);
  ASSERT_NE(dialog, nullptr);
  QWidget* window = backend_.WidgetOf(dialog);
  ASSERT_NE(window, nullptr);
  ShowWindow(dialog, SW_SHOW);

  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  // Only the main window can be minimised.
  EXPECT_EQ(bool(flags & Qt::WindowMinimizeButtonHint), id == kDialogMain);
  EXPECT_EQ(window->isWindow() && window->windowType() == Qt::Dialog, id != kDialogMain);

  const qtr5::DialogTemplate* tmpl = qtr5::FindDialogTemplate(id);
  const RECT size = qtr5::DialogUnitsToPixels(0, 0, tmpl->cx, tmpl->cy);
  EXPECT_EQ(window->size(), QSize(size.right, size.bottom));
  EXPECT_EQ(window->minimumSize(), window->size());
  EXPECT_EQ(window->maximumSize(), window->size());
}

TEST_P(TemplateFrameTest, OpensAtItsTemplatePositionOnTheScreen) {
  const int id = GetParam();
  HWND main = Create(kDialogMain, nullptr);
  ASSERT_NE(main, nullptr);
  QWidget* owner = backend_.WidgetOf(main);
  ShowWindow(main, SW_SHOW);
  const qtr5::DialogTemplate* tmpl = qtr5::FindDialogTemplate(id);
  const RECT place = qtr5::DialogUnitsToPixels(tmpl->x, tmpl->y, 0, 0);
  if (id == kDialogMain) {
    // A window of its own: where the window layer put it.
    RECT r{};
    ASSERT_TRUE(GetWindowRect(main, &r));
    EXPECT_EQ(owner->pos(), QPoint(r.left, r.top));
    return;
  }
  // Owned: from the owner's client area, wherever the owner was moved.
  owner->move(40, 30);
  HWND dialog = Create(id, main);
  ASSERT_NE(dialog, nullptr);
  QWidget* window = backend_.WidgetOf(dialog);
  ShowWindow(dialog, SW_SHOW);
  EXPECT_EQ(window->pos(), owner->mapToGlobal(QPoint(place.left, place.top)));
  EXPECT_TRUE(owner->geometry().contains(window->geometry()));
  DestroyWindow(dialog);

  // Near the screen's corner the dialog moves back onto the screen.
  const QRect screen = owner->screen()->availableGeometry();
  owner->move(screen.right() - 20, screen.bottom() - 20);
  dialog = Create(id, main);
  ASSERT_NE(dialog, nullptr);
  window = backend_.WidgetOf(dialog);
  ShowWindow(dialog, SW_SHOW);
  EXPECT_TRUE(screen.contains(window->frameGeometry()))
      << window->frameGeometry().x() << "," << window->frameGeometry().y();
  EXPECT_EQ(window->frameGeometry().bottomRight(), screen.bottomRight());
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateFrameTest,
                         ::testing::Values(kDialogMain, kDialogReleaseNote, kDialogSelectDevice),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Template" + std::to_string(info.param);
                         });

}  // namespace
