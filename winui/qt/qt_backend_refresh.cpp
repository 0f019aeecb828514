// The Qt backend's mirror of the window layer: each change of a window's
// state is put into its widget, repaints happen at once, and the program's
// waits for input run a Qt event loop until the user acts.
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "winui/qt/qt_backend.h"
#include "winui/qt/qt_controls.h"
#include "winui/qt/qt_dialog_window.h"
#include "winui/qt/qt_pictures.h"

namespace qtr5 {

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
        KeepFramedOnScreen(widget);
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
      } else if (dynamic_cast<PictureButton*>(widget) != nullptr) {
        // Its caption is never shown; the picture names it (below).
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
        const int id = ImageResourceId(window);
        button->SetPicture(LoadPicture(pictures_, id));
        // A screen reader hears the new state ("OK!") as a name change.
        if (const auto said = pictures_.texts.find(id); said != pictures_.texts.end())
          SetAccessibleName(button, said->second);
      } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
        const int id = ImageResourceId(window);
        push->setIcon(id == 0 ? QIcon() : QIcon(ButtonPixmap(pictures_, id)));
      }
      break;
    case WindowChange::kIcon:
      if (widget->isWindow()) {
        int id = IconResourceId(window, ICON_SMALL);
        if (id == 0) id = IconResourceId(window, ICON_BIG);
        widget->setWindowIcon(LoadProgramIcon(pictures_, id));
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
  // The window system's news is taken in meanwhile (the user's input still
  // waits): a window moved by the user is known where it now is, so a box
  // opened over it lands there, and a close request is answered now.
  if (Busy()) AnswerWindowSystem();
}

void QtBackend::AnswerWindowSystem() {
  // Not ExcludeUserInputEvents: on X11 the window manager's close request
  // counts as user input and would wait for the end of the work, to be
  // carried out then. The busy input filter drops the clicks and keys.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

}  // namespace

BusyInputFilter::BusyInputFilter(QtBackend& backend) : backend_(backend) {
  QCoreApplication::instance()->installEventFilter(this);
}

bool BusyInputFilter::eventFilter(QObject* watched, QEvent* event) {
  if (!IsUserInput(event->type()) || !backend_.Busy()) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;  // the QWindow: the widget gets it next
  // The note answers its own OK button and keys.
  QWidget* note = backend_.BusyNote();
  return note == nullptr || widget->window() != note;
}

void QtBackend::ShowBusyNote(HWND owner, const std::string& text) {
  if (BusyNote() != nullptr) {
    busyNote_->raise();
    return;
  }
  QWidget* window = WidgetOf(owner);
  if (window != nullptr) window = window->window();
  auto* note = new QMessageBox(QMessageBox::Information,
                               window != nullptr ? window->windowTitle() : QString(),
                               FromProgramText(text), QMessageBox::Ok, window);
  note->setFont(font_);
  note->setAttribute(Qt::WA_DeleteOnClose);
  // Not modal: the work goes on underneath, and the note only informs.
  note->setWindowModality(Qt::NonModal);
  busyNote_ = note;
  note->show();
  note->repaint();
}

void QtBackend::CloseBusyNote() {
  if (busyNote_ != nullptr) busyNote_->close();
}

bool QtBackend::WaitForInput() {
  // Whatever the program was busy with has ended.
  CloseBusyNote();
  ReturnFocusAfterDialog();
  ++answering_;
  const bool posted = WaitForInputUnlessIdle();
  --answering_;
  return posted;
}

bool QtBackend::WaitForInputUnlessIdle() {
  posted_ = false;
  if (!waitObservers_.empty()) {
    // A copy: an observer may add or remove observers.
    const auto observers = waitObservers_;
    for (const auto& [id, observer] : observers) observer();
    if (posted_) return true;
  }
  QEventLoop loop;
  waiting_ = &loop;
  if (!posted_) loop.exec();
  waiting_ = nullptr;
  return posted_;
}
}  // namespace qtr5
