// Internal to winui/qt: the dialog window class that the backend's window
// creation and its mirror of the window layer share.
#pragma once

#include <QCloseEvent>
#include <QKeyEvent>
#include <QScrollArea>
#include <QWidget>

#include "winui/qt/qt_backend.h"

namespace qtr5 {

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

  // A screen too small for the dialog (a large scale factor on a small
  // screen): the window takes the room there is, `frame` excepted, and its
  // client area scrolls, so that every control can still be reached.
  void FitInto(const QSize& room, const QMargins& frame) {
    const QSize most = room.shrunkBy(frame);
    const QSize needed = client_->size();
    if (scroll_ == nullptr && needed.width() <= most.width() && needed.height() <= most.height())
      return;
    if (scroll_ == nullptr) {
      scroll_ = new QScrollArea(this);
      scroll_->setFrameShape(QFrame::NoFrame);
      client_->setFixedSize(needed);
      scroll_->setWidget(client_);
      scroll_->show();
    }
    const QSize size = needed.boundedTo(most);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setFixedSize(size);
    scroll_->setGeometry(rect());
  }

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
    if (backend_.Busy()) {
      // The program is inside its work and reads no queue: its dialog
      // procedure answers now (the main window refuses with a note).
      SendMessageA(dialog_, WM_CLOSE, 0, 0);
      return;
    }
    if (PostClose(dialog_)) backend_.InputPosted();
  }

 private:
  QtBackend& backend_;
  HWND dialog_;
  QWidget* client_;
  QScrollArea* scroll_ = nullptr;
};

// While the program is busy, the user's clicks and keys on its windows are
// dropped (see QtBackend::AnswerWindowSystem); installed on the application.
class BusyInputFilter : public QObject {
 public:
  explicit BusyInputFilter(QtBackend& backend);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QtBackend& backend_;
};

}  // namespace qtr5
