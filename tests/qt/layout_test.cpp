// The dialog templates as the Qt window draws them: every control at its
// rectangle, with its kind, style, text and state.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTreeWidget>

#include "frontends/desktop/desktop_program.h"
#include "resources/program_resources.h"
#include "resources/resource_ids.h"
#include "winui/backend.h"
#include "winui/qt/qt_accessibility.h"
#include "winui/qt/qt_backend.h"
#include "winui/qt/qt_controls.h"
#include "winui/qt/qt_dialog_window.h"

namespace {

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

class LayoutTest : public ::testing::TestWithParam<int> {
 protected:
  LayoutTest() {
    qtr5::ResetWindowSystem();
    installed_ = std::make_unique<qtr5::ScopedBackend>(backend_);
  }
  ~LayoutTest() override {
    installed_.reset();
    qtr5::ResetWindowSystem();
    QApplication::processEvents();
  }
  HWND Create(int id) {
    return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, QuietProc, 0);
  }
  static QRect Pixels(int x, int y, int cx, int cy) {
    const RECT r = qtr5::DialogUnitsToPixels(x, y, cx, cy);
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }

  qtr5::QtBackend backend_{qtr5::ProgramPictures(), qtr5::ProgramControlTexts()};
  std::unique_ptr<qtr5::ScopedBackend> installed_;
};

TEST(DialogFontTest, BaseUnitsFollowTheDialogFontAsWindowsMeasuresThem) {
  const QFont font = qtr5::MakeDialogFont();
  EXPECT_EQ(QFontInfo(font).pixelSize(), 11);
  const qtr5::DialogBaseUnits units = qtr5::ComputeBaseUnits(font);
  const QFontMetrics metrics(font);
  // The average letter width, rounded half up, and the full character height.
  const double average =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
  EXPECT_NEAR(units.x, average, 0.5 + 1e-9);
  EXPECT_EQ(units.y, metrics.ascent() + metrics.descent());
  if (QFontInfo(font).family() == "DejaVu Sans") {
    EXPECT_EQ(units.x, 7);
    EXPECT_EQ(units.y, 13);
  }
}

TEST_P(LayoutTest, EveryControlSitsAtItsRectangleWithItsKind) {
  const qtr5::DialogTemplate* tmpl = qtr5::FindDialogTemplate(GetParam());
  ASSERT_NE(tmpl, nullptr);
  HWND dialog = Create(GetParam());
  ASSERT_NE(dialog, nullptr);
  QWidget* window = backend_.WidgetOf(dialog);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isWindow());
  EXPECT_EQ(window->windowTitle().toStdString(), tmpl->title);
  EXPECT_EQ(window->size(), Pixels(0, 0, tmpl->cx, tmpl->cy).size());
  EXPECT_EQ(window->font().pixelSize(), 11);

  const std::vector<HWND> controls = qtr5::ChildWindows(dialog);
  ASSERT_EQ(controls.size(), tmpl->controls.size());
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const qtr5::ControlTemplate& ct = tmpl->controls[i];
    SCOPED_TRACE("control " + std::to_string(ct.id) + " \"" + ct.text + "\"");
    QWidget* widget = backend_.WidgetOf(controls[i]);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), backend_.ClientOf(dialog));
    EXPECT_EQ(widget->window(), window);
    EXPECT_EQ(widget->geometry(), Pixels(ct.x, ct.y, ct.cx, ct.cy));
    EXPECT_EQ(widget->isEnabled(), (ct.style & WS_DISABLED) == 0);
    EXPECT_EQ(backend_.WindowOf(widget), controls[i]);
    switch (ct.kind) {
      case qtr5::ControlKind::kButton:
        if (ct.style & BS_FLAT) {
          EXPECT_NE(dynamic_cast<qtr5::PictureButton*>(widget), nullptr);
          EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
        } else {
          auto* button = qobject_cast<QPushButton*>(widget);
          ASSERT_NE(button, nullptr);
          EXPECT_EQ(button->isDefault(), (ct.style & 0xF) == BS_DEFPUSHBUTTON);
          if (!(ct.style & BS_BITMAP)) {
            EXPECT_EQ(button->text().toStdString(), ct.text);
          }
        }
        break;
      case qtr5::ControlKind::kStatic: {
        auto* text = dynamic_cast<qtr5::StaticText*>(widget);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->Text().toStdString(), ct.text);
        const bool framed = (ct.style & SS_SUNKEN) || (ct.exStyle & WS_EX_STATICEDGE);
        EXPECT_EQ(text->frameShadow() == QFrame::Sunken && text->frameWidth() > 0, framed);
        break;
      }
      case qtr5::ControlKind::kEdit:
        EXPECT_NE(qobject_cast<QLineEdit*>(widget), nullptr);
        break;
      case qtr5::ControlKind::kListView: {
        auto* list = dynamic_cast<qtr5::ReportView*>(widget);
        ASSERT_NE(list, nullptr);
        EXPECT_FALSE(list->rootIsDecorated());
        EXPECT_FALSE(list->isSortingEnabled());
        EXPECT_EQ(list->header()->sectionsClickable(), (ct.style & LVS_NOSORTHEADER) == 0);
        EXPECT_EQ(list->selectionMode() == QAbstractItemView::SingleSelection,
                  (ct.style & LVS_SINGLESEL) != 0);
        break;
      }
      case qtr5::ControlKind::kProgressBar:
        EXPECT_NE(dynamic_cast<qtr5::TextProgressBar*>(widget), nullptr);
        break;
    }
  }
  DestroyWindow(dialog);
  EXPECT_EQ(backend_.WidgetOf(dialog), nullptr);
}

TEST_P(LayoutTest, TabOrderFollowsTheTemplateAndSkipsControlsWithoutTabStop) {
  const qtr5::DialogTemplate* tmpl = qtr5::FindDialogTemplate(GetParam());
  HWND dialog = Create(GetParam());
  std::vector<QWidget*> expected;
  for (HWND control : qtr5::ChildWindows(dialog)) {
    const qtr5::ControlTemplate* ct = qtr5::ControlTemplateOf(control);
    QWidget* widget = backend_.WidgetOf(control);
    if (ct->kind == qtr5::ControlKind::kStatic || ct->kind == qtr5::ControlKind::kProgressBar) {
      EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
      continue;
    }
    // BS_FLAT shares its bit with LVS_NOSORTHEADER: it counts on buttons only.
    const bool flatButton = ct->kind == qtr5::ControlKind::kButton && (ct->style & BS_FLAT);
    // A list is always reached with Tab, so that its rows can be read out.
    const bool tabStop =
        ((ct->style & WS_TABSTOP) != 0 && !flatButton) || ct->kind == qtr5::ControlKind::kListView;
    EXPECT_EQ((widget->focusPolicy() & Qt::TabFocus) != 0, tabStop) << ct->id;
    if (tabStop) expected.push_back(widget);
  }
  ASSERT_FALSE(expected.empty()) << tmpl->title;
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
    // The next widget in the focus chain that takes the tab key.
    QWidget* next = expected[i]->nextInFocusChain();
    while (next != nullptr && !(next->focusPolicy() & Qt::TabFocus))
      next = next->nextInFocusChain();
    EXPECT_EQ(next, expected[i + 1]) << i;
  }
  DestroyWindow(dialog);
}

// What a screen reader finds through the accessibility interface: every
// control named and described, a static text as a label named by its text,
// and no caption that is never shown ("Button1") as a name.
TEST_P(LayoutTest, EveryControlIsNamedAndDescribedForAScreenReader) {
  HWND dialog = Create(GetParam());
  for (HWND control : qtr5::ChildWindows(dialog)) {
    const qtr5::ControlTemplate* ct = qtr5::ControlTemplateOf(control);
    SCOPED_TRACE("control " + std::to_string(ct->id) + " \"" + ct->text + "\"");
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(backend_.WidgetOf(control));
    ASSERT_NE(shown, nullptr);
    const QString name = shown->text(QAccessible::Name);
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(shown->text(QAccessible::Description).isEmpty());
    if (ct->kind == qtr5::ControlKind::kStatic) {
      EXPECT_EQ(shown->role(), QAccessible::StaticText);
      EXPECT_EQ(name, qtr5::AccessibleLine(QString::fromLatin1(ct->text)));
    }
    if (ct->style & BS_BITMAP) {
      EXPECT_NE(name.toStdString(), ct->text);
    } else if (ct->kind == qtr5::ControlKind::kButton) {
      EXPECT_EQ(name, QString::fromLatin1(ct->text).remove(u'&'));  // named by its caption
    }
  }
  DestroyWindow(dialog);
}

// The status line's news and the state picture are told as their accessible
// names (a change of a widget's accessible name is announced to the screen
// reader by Qt), the picture by what it shows; the busy animation's logo
// frame keeps "Wait!".
TEST_F(LayoutTest, StatusAndStatePictureAreToldByTheirNames) {
  HWND dialog = Create(kDialogMain);
  auto nameOf = [&](int id) {
    return QAccessible::queryAccessibleInterface(backend_.WidgetOf(GetDlgItem(dialog, id)))
        ->text(QAccessible::Name);
  };
  SetDlgItemTextA(dialog, kIdStatus, "Download has been done successfully!");
  EXPECT_EQ(nameOf(kIdStatus), "Download has been done successfully!");
  const std::pair<int, QString> states[] = {{kBitmapNoDevice, "No Device"},
                                            {kBitmapWait, "Wait!"},
                                            {kBitmapLogo, "Wait!"},
                                            {kBitmapOk, "OK!"},
                                            {kBitmapNg, "NG!"}};
  for (const auto& [bitmap, said] : states) {
    SendDlgItemMessageA(dialog, kIdPicture, BM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(LoadBitmapA(nullptr, MAKEINTRESOURCEA(bitmap))));
    EXPECT_EQ(nameOf(kIdPicture), said) << bitmap;
  }
  DestroyWindow(dialog);
}

// A screen with less room than the dialog (a large QT_SCALE_FACTOR): the
// window with its frame fits in it, its controls drawn smaller and all in
// sight; only a screen too small for that makes the client area scroll.
// Where there is room, nothing changes.
TEST_F(LayoutTest, ADialogLargerThanTheScreenIsDrawnSmallerAndScrollsOnlyBeyondThat) {
  HWND dialog = Create(kDialogMain);
  auto* window = dynamic_cast<qtr5::DialogWindow*>(backend_.WidgetOf(dialog));
  ASSERT_NE(window, nullptr);
  const QSize full = window->size();
  const QMargins frame(4, 30, 4, 4);
  window->FitInto(QSize(1280, 800), frame);
  EXPECT_EQ(window->size(), full);
  window->show();
  QWidget* download = backend_.WidgetOf(GetDlgItem(dialog, kIdDownload));
  // 1280x800 and 1024x768 at scale factor 2.
  for (const QSize room : {QSize(640, 400), QSize(512, 384)}) {
    SCOPED_TRACE(room.width());
    window->FitInto(room, frame);
    EXPECT_LE(window->width() + 8, room.width());
    EXPECT_LE(window->height() + 34, room.height());
    EXPECT_EQ(window->findChild<QScrollArea*>(), nullptr);
    for (HWND control : qtr5::ChildWindows(dialog))
      EXPECT_TRUE(window->rect().contains(backend_.WidgetOf(control)->geometry()))
          << qtr5::ControlTemplateOf(control)->id;
    EXPECT_LT(download->font().pixelSize(), 11);
  }
  window->FitInto(QSize(360, 280), frame);
  EXPECT_LE(window->width() + 8, 360);
  EXPECT_LE(window->height() + 34, 280);
  auto* scroll = window->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  scroll->ensureWidgetVisible(download, 0, 0);
  const QRect shown = scroll->viewport()->rect();
  EXPECT_TRUE(
      shown.contains(QRect(download->mapTo(scroll->viewport(), QPoint(0, 0)), download->size())));
  DestroyWindow(dialog);
}

INSTANTIATE_TEST_SUITE_P(Templates, LayoutTest,
                         ::testing::Values(kDialogMain, kDialogReleaseNote, kDialogSelectDevice));

class ReleaseNoteLayoutTest : public LayoutTest {};

TEST_F(ReleaseNoteLayoutTest, TabSeparatedColumnsLineUpUnderTheHeader) {
  HWND dialog = Create(kDialogReleaseNote);
  std::vector<qtr5::StaticText*> texts;
  for (HWND control : qtr5::ChildWindows(dialog))
    if (auto* text = dynamic_cast<qtr5::StaticText*>(backend_.WidgetOf(control)))
      texts.push_back(text);
  ASSERT_EQ(texts.size(), 2u);
  const QList<QList<qreal>> header = texts[0]->FieldStarts();
  const QList<QList<qreal>> body = texts[1]->FieldStarts();
  ASSERT_EQ(header.size(), 1);
  ASSERT_EQ(header[0].size(), 3);  // date, version, description
  ASSERT_EQ(body.size(), 4);
  for (const QList<qreal>& row : body) {
    ASSERT_EQ(row.size(), 3);
    EXPECT_DOUBLE_EQ(row[1], header[0][1]);
    EXPECT_DOUBLE_EQ(row[2], header[0][2]);
    // Each column starts to the right of the previous one's text.
    EXPECT_LT(row[0], row[1]);
    EXPECT_LT(row[1], row[2]);
  }
  // The '&' of "&OK" is a mnemonic, not a character.
  qtr5::StaticText sample(nullptr, Qt::AlignLeft, 7);
  sample.SetText("R&&D &Files");
  EXPECT_EQ(sample.ShownText(), "R&D Files");
  DestroyWindow(dialog);
}

}  // namespace
