// The Qt backend's windows: the dialog font, creating a dialog's window and
// its controls' widgets, placing it on the screen, and destroying it.
#include "winui/qt/qt_backend.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <utility>

#include "winui/qt/qt_controls.h"
#include "winui/qt/qt_dialog_window.h"
#include "winui/qt/qt_window_frame.h"

namespace qtr5 {
namespace {

const char* const kHandleProperty = "qtr5Window";

// The title bar and borders the window manager put around a top-level
// window (none before it is shown, and none offscreen).
QMargins FrameMargins(const QWidget* window) {
  const QRect outer = window->frameGeometry();
  const QRect inner = window->geometry();
  return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                  outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

// How long a dialog waits for its owner's window to be framed and put on the
// screen before placing itself from what is known.
constexpr int kFrameWaitMilliseconds = 1000;

// Lets the window system finish putting a visible top-level window on the
// screen (it is exposed once the window manager has framed and mapped it).
// Only window-system events are handled meanwhile: the user's input waits.
void WaitUntilFramed(QWidget* window) {
  QWindow* handle = window->windowHandle();
  if (handle == nullptr || !window->isVisible() || window->isMinimized() || handle->isExposed())
    return;
  QDeadlineTimer deadline(kFrameWaitMilliseconds);
  QTimer tick;  // wakes the wait below to look at the clock
  tick.start(10);
  while (!handle->isExposed() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  // The window manager's news about the frame came along with the exposure.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QRect PixelRect(int x, int y, int cx, int cy) {
  const RECT r = DialogUnitsToPixels(x, y, cx, cy);
  return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

Qt::Alignment StaticAlignment(std::uint32_t style) {
  switch (style & 0x3) {  // SS_LEFT, SS_CENTER, SS_RIGHT
    case SS_CENTER:
      return Qt::AlignHCenter;
    case 0x2:
      return Qt::AlignRight;
    default:
      return Qt::AlignLeft;
  }
}

}  // namespace

QFont MakeDialogFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);  // 8 points at 96 dpi, rounded as Windows does (MulDiv(8, 96, 72))
  return font;
}

DialogBaseUnits ComputeBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

QString FromProgramText(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToProgramText(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QtBackend::QtBackend(PictureTable pictures, ControlTexts texts)
    : pictures_(std::move(pictures)),
      texts_(std::move(texts)),
      font_(MakeDialogFont()),
      baseUnits_(ComputeBaseUnits(font_)) {
  QApplication::setQuitOnLastWindowClosed(false);
  InstallAccessibleFactory();
  busyInputFilter_ = std::make_unique<BusyInputFilter>(*this);
}

QtBackend::~QtBackend() {
  for (auto& [window, widget] : widgets_)
    if (widget != nullptr && widget->isWindow()) delete widget.data();
}

QWidget* QtBackend::WidgetOf(HWND window) const {
  const auto it = widgets_.find(window);
  return it == widgets_.end() ? nullptr : it->second.data();
}

QWidget* QtBackend::ClientOf(HWND dialog) const {
  auto* window = dynamic_cast<DialogWindow*>(WidgetOf(dialog));
  return window == nullptr ? nullptr : window->Client();
}

HWND QtBackend::WindowOf(const QWidget* widget) const {
  if (widget == nullptr) return nullptr;
  return reinterpret_cast<HWND>(widget->property(kHandleProperty).value<quintptr>());
}

void QtBackend::WindowCreated(HWND dialog) {
  const DialogTemplate* tmpl = DialogTemplateOf(dialog);
  if (tmpl == nullptr) return;
  QWidget* owner = WidgetOf(OwnerOf(dialog));
  auto* window =
      new DialogWindow(*this, dialog, owner, WindowFlagsForStyle(tmpl->style, owner != nullptr));
  window->setProperty(kHandleProperty, QVariant::fromValue(reinterpret_cast<quintptr>(dialog)));
  window->setFont(font_);
  window->setWindowTitle(QString::fromLocal8Bit(WindowText(dialog)));
  const QSize size = PixelRect(0, 0, tmpl->cx, tmpl->cy).size();
  if (IsResizableStyle(tmpl->style)) {
    window->resize(size);
  } else {
    window->setFixedSize(size);  // a modal frame has no sizing border
  }
  window->Client()->setGeometry(window->rect());
  window->installEventFilter(window);
  widgets_[dialog] = window;

  QWidget* previous = nullptr;
  for (HWND control : ChildWindows(dialog)) {
    QWidget* widget = CreateControl(window->Client(), tmpl->id, control);
    if (widget == nullptr) continue;
    widget->installEventFilter(window);
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previous != nullptr) QWidget::setTabOrder(previous, widget);
      previous = widget;
    }
  }
  if (IsTopmostWindow(dialog)) window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  PlaceDialog(dialog, window);
}

QWidget* QtBackend::CreateControl(QWidget* parent, int dialogId, HWND control) {
  const ControlTemplate* ct = ControlTemplateOf(control);
  if (ct == nullptr) return nullptr;
  const std::uint32_t style = ct->style;
  QWidget* widget = nullptr;
  switch (ct->kind) {
    case ControlKind::kButton:
      if ((style & BS_BITMAP) && (style & BS_FLAT)) {
        auto* button = new PictureButton(parent);
        QObject::connect(button, &QAbstractButton::clicked, [this, control] {
          if (PostClick(control)) InputPosted();
        });
        widget = button;
      } else {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        button->setDefault((style & 0xF) == BS_DEFPUSHBUTTON);
        if (style & BS_BITMAP) button->setIconSize(QSize(16, 16));
        QObject::connect(button, &QAbstractButton::clicked, [this, control] {
          if (PostClick(control)) InputPosted();
        });
        widget = button;
      }
      break;
    case ControlKind::kStatic: {
      auto* text = new StaticText(parent, StaticAlignment(style), baseUnits_.x);
      if ((style & SS_SUNKEN) || (ct->exStyle & WS_EX_STATICEDGE)) {
        text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        text->setLineWidth(1);
        text->setContentsMargins(1, 1, 1, 1);
      }
      widget = text;
      break;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(parent);
      edit->setFrame((style & WS_BORDER) || (ct->exStyle & WS_EX_CLIENTEDGE));
      edit->setMaxLength(32767);
      QObject::connect(edit, &QLineEdit::textEdited, [this, control, edit](const QString& text) {
        if (PostTypedText(control, ToProgramText(text))) {
          InputPosted();
        } else {
          edit->setText(QString::fromLocal8Bit(WindowText(control)));
        }
      });
      widget = edit;
      break;
    }
    case ControlKind::kListView: {
      auto* list = new ReportView(parent, style & LVS_SINGLESEL, style & LVS_SHOWSELALWAYS,
                                  !(style & LVS_NOSORTHEADER));
      list->setFrameShape((style & WS_BORDER) || (ct->exStyle & WS_EX_CLIENTEDGE)
                              ? QFrame::StyledPanel
                              : QFrame::NoFrame);
      QObject::connect(list, &QTreeWidget::itemSelectionChanged, [this, control, list] {
        if (syncing_) return;
        const QList<QTreeWidgetItem*> selected = list->selectedItems();
        const int row = selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
        SelectListRow(control, row);
      });
      widget = list;
      break;
    }
    case ControlKind::kProgressBar:
      widget = new TextProgressBar(parent);
      break;
  }
  widget->setProperty(kHandleProperty, QVariant::fromValue(reinterpret_cast<quintptr>(control)));
  widget->setGeometry(PixelRect(ct->x, ct->y, ct->cx, ct->cy));
  // A list is reached with the Tab key even when it only shows something, so
  // that a keyboard and a screen reader can go through its rows.
  const bool tabStop = (style & WS_TABSTOP) != 0 || ct->kind == ControlKind::kListView;
  if (ct->kind != ControlKind::kStatic && ct->kind != ControlKind::kProgressBar)
    widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
  if (ct->kind == ControlKind::kButton && (style & BS_FLAT)) widget->setFocusPolicy(Qt::NoFocus);
  if (texts_) {
    const AccessibleText text = texts_(dialogId, *ct);
    if (!text.name.isEmpty()) widget->setAccessibleName(text.name);
    widget->setAccessibleDescription(text.description);
  }
  widgets_[control] = widget;
  for (WindowChange change : {WindowChange::kText, WindowChange::kEnabled, WindowChange::kImage,
                              WindowChange::kProgressRange, WindowChange::kListColumns,
                              WindowChange::kListItems, WindowChange::kListSelection})
    Refresh(control, change);
  // A progress bar's caption in the template ("Progress1") is never shown;
  // the bar shows the texts the program gives it ("42%").
  if (auto* bar = dynamic_cast<TextProgressBar*>(widget)) bar->SetBarText(QString());
  widget->setVisible((style & WS_VISIBLE) != 0);
  return widget;
}

void QtBackend::PlaceDialog(HWND dialog, QWidget* widget) {
  QWidget* owner = WidgetOf(OwnerOf(dialog));
  const DialogTemplate* tmpl = DialogTemplateOf(dialog);
  QPoint place;
  QMargins frame = FrameMargins(widget);
  QScreen* screen = nullptr;
  if (owner != nullptr && tmpl != nullptr) {
    // An owned dialog: its template position is relative to its owner's
    // client area. Where that area is on the screen is known once the window
    // manager has framed the owner, which may not have happened yet when the
    // program opens the dialog right after showing its owner (the Select
    // Device dialog comes up while the main window is being mapped).
    WaitUntilFramed(owner);
    place = owner->mapToGlobal(PixelRect(tmpl->x, tmpl->y, 0, 0).topLeft());
    // Before it is shown a dialog has no frame yet: the window manager gives
    // it the frame it gave its owner.
    if (!widget->isVisible()) frame = FrameMargins(owner);
    screen = owner->screen();
  } else {
    RECT r{};
    if (!GetWindowRect(dialog, &r)) return;
    place = QPoint(r.left, r.top);
    screen = QGuiApplication::screenAt(place);
  }
  if (screen == nullptr) screen = widget->screen();
  if (auto* window = dynamic_cast<DialogWindow*>(widget); window != nullptr && screen != nullptr) {
    // Before the window manager framed it, room for a title bar is kept.
    const QMargins room = frame.isNull() ? QMargins(4, 30, 4, 4) : frame;
    window->FitInto(screen->availableGeometry().size(), room);
  }
  // move() places the frame's top-left corner, as the window rectangle is
  // placed on Windows.
  const QSize frameSize = widget->size().grownBy(frame);
  widget->move(screen == nullptr
                   ? place
                   : KeepOnScreen(QRect(place, frameSize), screen->availableGeometry()));
}

void QtBackend::KeepFramedOnScreen(QWidget* widget) {
  // Until the window manager has framed it, a window is placed with a frame
  // it guessed, and the window manager may place it by its own rule: once
  // framed, a window that does not lie within the screen's available area
  // is fitted and placed again with the frame it got.
  WaitUntilFramed(widget);
  const QMargins frame = FrameMargins(widget);
  QScreen* screen = widget->screen();
  if (frame.isNull() || screen == nullptr) return;
  const QRect room = screen->availableGeometry();
  if (room.contains(widget->frameGeometry())) return;
  if (auto* window = dynamic_cast<DialogWindow*>(widget)) window->FitInto(room.size(), frame);
  widget->move(
      KeepOnScreen(QRect(widget->frameGeometry().topLeft(), widget->size().grownBy(frame)), room));
}

void QtBackend::WindowDestroyed(HWND window) {
  const auto it = widgets_.find(window);
  if (it == widgets_.end()) return;
  QPointer<QWidget> widget = it->second;
  widgets_.erase(it);
  if (widget != nullptr && widget->isWindow()) {
    widget->hide();
    widget->deleteLater();
  }
}

}  // namespace qtr5
