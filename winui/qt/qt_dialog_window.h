// Internal to winui/qt: the dialog window class that the backend's window
// creation and its mirror of the window layer share.
#pragma once

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>
#include <utility>
#include <vector>

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
  // screen): the window takes the room there is, `frame` excepted. Its
  // controls and their font are drawn smaller, down to three quarters of
  // the template's size, so that the whole dialog is seen at once; where
  // even that is too large, the client area scrolls, so that every control
  // can still be reached. Where there is room, nothing changes.
  void FitInto(const QSize& room, const QMargins& frame);
  // The size the controls are drawn at: 1 is the template's own.
  double Scale() const { return scale_; }

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
  void DrawAt(double scale);

  QtBackend& backend_;
  HWND dialog_;
  QWidget* client_;
  QScrollArea* scroll_ = nullptr;
  // The client area and each control at the template's size, and the
  // dialog font, kept at the first fit.
  QSize full_;
  std::vector<std::pair<QPointer<QWidget>, QRect>> placed_;
  QFont font_;
  double scale_ = 1.0;
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
