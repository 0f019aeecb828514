#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_pictures.h"
#include "platform/qt/qt_window_frame.h"

namespace qtr5 {
namespace {

const char* const kHandleProperty = "qtr5Window";

// The top-level window of a dialog: the close box and the Enter and Esc keys
// go to the window layer as the dialog manager would see them.
class DialogWindow : public QWidget {
 public:
  DialogWindow(QtBackend& backend, HWND dialog, QWidget* owner, Qt::WindowFlags flags)
      : QWidget(owner, flags), backend_(backend), dialog_(dialog), client_(new QWidget(this)) {}

  // The controls live on the client area, so that disabling the dialog (a
  // modal dialog of its own is up) leaves that owned dialog enabled: Qt
  // disables a widget's child windows along with it.
  QWidget* Client() const { return client_; }

  // Installed on the window and every control.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    UINT virtualKey = 0;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) virtualKey = VK_RETURN;
    if (key == Qt::Key_Escape) virtualKey = VK_ESCAPE;
    if (virtualKey == 0) return false;
    HWND target = backend_.WindowOf(qobject_cast<QWidget*>(watched));
    if (target == nullptr) target = dialog_;
    if (PostKey(target, virtualKey)) backend_.InputPosted();
    return true;
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    // The window goes only when the program destroys it.
    event->ignore();
    if (PostClose(dialog_)) backend_.InputPosted();
  }

 private:
  QtBackend& backend_;
  HWND dialog_;
  QWidget* client_;
};

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

// The patterns of a filter, lower-cased, each once.
QStringList PatternSet(const QString& patterns) {
  QStringList set =
      patterns.toLower().split(QRegularExpression(QStringLiteral("[ ;]+")), Qt::SkipEmptyParts);
  set.sort();
  set.removeDuplicates();
  return set;
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

QtBackend::QtBackend() : font_(MakeDialogFont()), baseUnits_(ComputeBaseUnits(font_)) {
  QApplication::setQuitOnLastWindowClosed(false);
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

int QtBackend::AddWaitObserver(std::function<void()> observer) {
  const int id = nextObserverId_++;
  waitObservers_[id] = std::move(observer);
  return id;
}

void QtBackend::RemoveWaitObserver(int id) {
  waitObservers_.erase(id);
}

void QtBackend::InputPosted() {
  posted_ = true;
  if (waiting_ != nullptr) waiting_->quit();
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
    QWidget* widget = CreateControl(window->Client(), control);
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

QWidget* QtBackend::CreateControl(QWidget* parent, HWND control) {
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
  const bool tabStop = (style & WS_TABSTOP) != 0;
  if (ct->kind != ControlKind::kStatic && ct->kind != ControlKind::kProgressBar)
    widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
  if (ct->kind == ControlKind::kButton && (style & BS_FLAT)) widget->setFocusPolicy(Qt::NoFocus);
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
  // move() places the frame's top-left corner, as the window rectangle is
  // placed on Windows.
  const QSize frameSize = widget->size().grownBy(frame);
  widget->move(screen == nullptr
                   ? place
                   : KeepOnScreen(QRect(place, frameSize), screen->availableGeometry()));
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

void QtBackend::WindowChanged(HWND window, WindowChange change) {
  syncing_ = true;
  Refresh(window, change);
  syncing_ = false;
}

void QtBackend::Refresh(HWND window, WindowChange change) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return;
  const ControlTemplate* ct = ControlTemplateOf(window);
  const QString text = QString::fromLocal8Bit(WindowText(window));
  switch (change) {
    case WindowChange::kShown:
      widget->show();
      if (widget->isWindow()) {
        widget->raise();
        widget->activateWindow();
      }
      break;
    case WindowChange::kHidden:
      widget->hide();
      break;
    case WindowChange::kMoved:
      if (widget->isWindow()) PlaceDialog(window, widget);
      break;
    case WindowChange::kTopmost:
      if (widget->isWindow()) {
        const bool visible = widget->isVisible();
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, IsTopmostWindow(window));
        if (visible) widget->show();  // changing the flags hides a window
      }
      break;
    case WindowChange::kText:
      if (widget->isWindow()) {
        widget->setWindowTitle(text);
      } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != text) edit->setText(text);
      } else if (auto* button = dynamic_cast<PictureButton*>(widget)) {
        button->setAccessibleName(text);
      } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
        if (ct == nullptr || !(ct->style & BS_BITMAP)) push->setText(text);
      } else if (auto* label = dynamic_cast<StaticText*>(widget)) {
        label->SetText(text);
      } else if (auto* bar = dynamic_cast<TextProgressBar*>(widget)) {
        // The bar's text changes with its position, and is put on the
        // screen as synchronously as the position is.
        bar->SetBarText(text);
        Repaint(window);
      }
      break;
    case WindowChange::kEnabled:
      if (auto* dialog = dynamic_cast<DialogWindow*>(widget)) {
        dialog->Client()->setEnabled(IsWindowEnabled(window) != FALSE);
      } else {
        widget->setEnabled(IsWindowEnabled(window) != FALSE);
      }
      break;
    case WindowChange::kImage:
      if (auto* button = dynamic_cast<PictureButton*>(widget)) {
        button->SetPicture(LoadPicture(ImageResourceId(window)));
      } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
        const int id = ImageResourceId(window);
        push->setIcon(
            id == 0 ? QIcon()
                    : QIcon(id == 109 ? BrowsePixmap() : QPixmap::fromImage(LoadPicture(id))));
      }
      break;
    case WindowChange::kIcon:
      if (widget->isWindow()) {
        int id = IconResourceId(window, ICON_SMALL);
        if (id == 0) id = IconResourceId(window, ICON_BIG);
        widget->setWindowIcon(LoadProgramIcon(id));
        // Message boxes and the open-file dialog carry the program's icon too.
        if (QApplication::windowIcon().isNull() || id != 0)
          QApplication::setWindowIcon(widget->windowIcon());
      }
      break;
    case WindowChange::kProgressRange:
    case WindowChange::kProgressPosition:
      if (auto* bar = dynamic_cast<TextProgressBar*>(widget)) {
        const ProgressState state = ProgressOf(window);
        bar->setRange(state.low, state.high);
        bar->setValue(std::clamp(state.position, state.low, state.high));
      }
      break;
    case WindowChange::kListColumns:
      if (auto* list = dynamic_cast<ReportView*>(widget)) {
        const std::vector<ListColumnInfo> columns = ListColumns(window);
        QStringList titles;
        for (const ListColumnInfo& c : columns) titles << QString::fromLocal8Bit(c.title);
        list->setColumnCount(static_cast<int>(columns.size()));
        list->setHeaderLabels(titles);
        list->setHeaderHidden(columns.empty());
        for (std::size_t i = 0; i < columns.size(); ++i)
          list->header()->resizeSection(static_cast<int>(i), columns[i].width);
      }
      break;
    case WindowChange::kListItems:
    case WindowChange::kListSelection:
      if (auto* list = dynamic_cast<ReportView*>(widget)) {
        const std::vector<ListRowInfo> rows = ListRows(window);
        if (change == WindowChange::kListItems) {
          list->clear();
          for (const ListRowInfo& row : rows) {
            auto* item = new QTreeWidgetItem(list);
            for (std::size_t c = 0; c < row.cells.size(); ++c)
              item->setText(static_cast<int>(c), QString::fromLocal8Bit(row.cells[c]));
          }
        }
        for (std::size_t r = 0;
             r < rows.size() && r < static_cast<std::size_t>(list->topLevelItemCount()); ++r)
          list->topLevelItem(static_cast<int>(r))
              ->setSelected((rows[r].state & LVIS_SELECTED) != 0);
      }
      break;
  }
}

void QtBackend::Repaint(HWND window) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr || !widget->isVisible()) return;
  // Painted and put on the screen now: the program may be inside a long
  // operation that returns to no event loop until it ends. Other parts of
  // the window waiting for a repaint (a new status text) are painted along
  // with it; nothing else is processed, no input in particular.
  widget->repaint();
  QCoreApplication::sendPostedEvents(widget->window(), QEvent::UpdateRequest);
}

bool QtBackend::WaitForInput() {
  if (idleHandler_) {
    if (idleHandler_()) return true;
    idleHandler_ = nullptr;
  }
  posted_ = false;
  if (!waitObservers_.empty()) {
    // A copy: an observer may add or remove observers.
    const auto observers = waitObservers_;
    for (const auto& [id, observer] : observers) observer();
    if (posted_) return true;
  }
  QEventLoop loop;
  QTimer limit;
  if (inputTimeout_ > 0) {
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(inputTimeout_);
  }
  waiting_ = &loop;
  if (!posted_) loop.exec();
  waiting_ = nullptr;
  return posted_;
}

int QtBackend::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                              UINT type) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      icon = QMessageBox::Critical;
      break;
    case MB_ICONQUESTION:
      icon = QMessageBox::Question;
      break;
    case MB_ICONEXCLAMATION:
      icon = QMessageBox::Warning;
      break;
    case MB_ICONASTERISK:
      icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  struct Choice {
    QMessageBox::StandardButton button;
    int answer;
  };
  std::vector<Choice> choices;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case 0x2:  // MB_ABORTRETRYIGNORE
      choices = {{QMessageBox::Abort, IDABORT},
                 {QMessageBox::Retry, IDRETRY},
                 {QMessageBox::Ignore, IDIGNORE}};
      break;
    case 0x3:  // MB_YESNOCANCEL
      choices = {
          {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO:
      choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
      break;
    case 0x5:  // MB_RETRYCANCEL
      choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    default:
      choices = {{QMessageBox::Ok, IDOK}};
      break;
  }
  QMessageBox::StandardButtons buttons;
  for (const Choice& c : choices) buttons |= c.button;
  QMessageBox box(icon, FromProgramText(caption), FromProgramText(text), buttons, WidgetOf(owner));
  box.setFont(font_);
  box.setDefaultButton(choices.front().button);
  // Esc answers Cancel where there is one, and OK on a box with only OK.
  for (const Choice& c : choices)
    if (c.answer == IDCANCEL || choices.size() == 1) box.setEscapeButton(c.button);
  const int chosen = box.exec();
  for (const Choice& c : choices)
    if (c.button == chosen) return c.answer;
  return choices.size() == 1 ? IDOK : IDCANCEL;
}

std::optional<std::string> QtBackend::ShowOpenFileDialog(const OpenFileRequest& request) {
  QStringList filters;
  for (const OpenFileFilter& f : request.filters) {
    QString patterns = FromProgramText(f.patterns);
    patterns.replace(u';', u' ');
    const QString description = FromProgramText(f.description);
    // Qt takes the patterns from the parentheses at the end of the name, and
    // matches them without regard to case (see below). Keep the program's
    // wording when its parentheses name the same patterns in that sense.
    const qsizetype open = description.lastIndexOf(u'(');
    const bool named = open >= 0 && description.endsWith(u')') &&
                       PatternSet(description.mid(open + 1, description.size() - open - 2)) ==
                           PatternSet(patterns);
    filters << (named ? description
                      : description + QStringLiteral(" (") + patterns + QStringLiteral(")"));
  }
  QString start = FromProgramText(request.initialDirectory);
  if (start.isEmpty()) start = QDir::currentPath();
  QFileDialog dialog(
      WidgetOf(request.owner),
      request.title.empty() ? QStringLiteral("Open") : FromProgramText(request.title), start);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFont(font_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode((request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                         : QFileDialog::AnyFile);
  // Name filters match without regard to case, so "*.HEX" also lists
  // "image.hex" on a case-sensitive file system.
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.filterIndex > 0 ? request.filterIndex - 1 : 0;
    if (index < filters.size()) dialog.selectNameFilter(filters[index]);
  }
  if (!request.initialPath.empty()) dialog.selectFile(FromProgramText(request.initialPath));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ToProgramText(QDir::toNativeSeparators(dialog.selectedFiles().front()));
}

}  // namespace qtr5
