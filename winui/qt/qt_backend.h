// The Qt6 Widgets backend of the portable window layer: every dialog the
// program creates becomes a top-level Qt window with one widget per control,
// placed by converting the template's dialog units with the dialog font's
// base units (DejaVu Sans at 8 points stands in for MS Sans Serif). The window
// layer keeps the state; this backend mirrors each change into the widgets
// and turns the user's clicks, typing, keys and close boxes into the layer's
// input messages.
//
// Requires a QApplication, created before the backend is installed.
#pragma once

#include <QFont>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "winui/backend.h"
#include "winui/qt/qt_accessibility.h"
#include "winui/qt/qt_pictures.h"

class QEventLoop;

namespace qtr5 {

// A message box's text as shown: the text, what follows below it (the
// informative text) and what its Details button shows; empty parts are left
// out.
struct BoxText {
  std::string text;
  std::string more;
  std::string details;
};
// Lays out a box's text by its text and caption (given by the program).
using BoxLayout = std::function<BoxText(const std::string& text, const std::string& caption)>;

class QtBackend : public Backend {
 public:
  // `pictures`: the bitmaps and icons the program's windows name; `texts`:
  // the controls' accessible names and descriptions.
  explicit QtBackend(PictureTable pictures, ControlTexts texts = {});
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  // Observers run, in the order they were added, each time the program
  // starts waiting for input (the desktop
  // program shows pending messages there; tests look at the window and act).
  // Returns a number for RemoveWaitObserver.
  int AddWaitObserver(std::function<void()> observer);
  void RemoveWaitObserver(int id);

  // How message boxes lay out their text; none: the text as it is.
  void SetBoxLayout(BoxLayout layout) { boxLayout_ = std::move(layout); }

  // The widget of a dialog or control (null when it has none), and back.
  QWidget* WidgetOf(HWND window) const;
  HWND WindowOf(const QWidget* widget) const;
  // The area of a dialog's window that holds its controls; disabled while
  // the dialog is (null for anything but a dialog).
  QWidget* ClientOf(HWND dialog) const;
  // The dialog font and its base units.
  const QFont& DialogFont() const { return font_; }
  // The pictures the program's windows name.
  const PictureTable& Pictures() const { return pictures_; }

  // ---- Backend ----
  void WindowCreated(HWND dialog) override;
  void WindowDestroyed(HWND window) override;
  void WindowChanged(HWND window, WindowChange change) override;
  void Repaint(HWND window) override;
  bool WaitForInput() override;
  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override;
  std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request) override;
  DialogBaseUnits BaseUnits() const override { return baseUnits_; }

  // Called by the widgets when the user acted: the action was posted.
  void InputPosted();
  // True while the program is at work (a drive command, the download) and
  // waits neither for input nor for an answer in a box or dialog of its own.
  bool Busy() const { return answering_ == 0; }
  // A note over `owner`'s window saying `text`, for a close request the
  // program refused while busy; not modal (the work goes on underneath).
  // Shown once: while it is up, it is raised instead. It goes with
  // CloseBusyNote, or at the latest when the program next waits.
  void ShowBusyNote(HWND owner, const std::string& text);
  void CloseBusyNote();
  // Lets the window system be heard while the program is busy: windows are
  // repainted and moved, and a close request (the title bar's close button)
  // reaches the dialog procedure at once. The user's clicks and keys meanwhile are
  // dropped (the drive is at work; the window would do nothing with them),
  // except on the note itself. Whatever the flags of the caller's event
  // processing, input never reaches the busy window: the filter below drops
  // it.
  static void AnswerWindowSystem();
  // The note of ShowBusyNote while it is shown; null otherwise.
  QWidget* BusyNote() const {
    return busyNote_ != nullptr && busyNote_->isVisible() ? busyNote_.data() : nullptr;
  }
  // True when input was posted since the current wait for input began.
  bool InputPending() const { return posted_; }

 private:
  QWidget* CreateControl(QWidget* parent, int dialogId, HWND control);
  void Refresh(HWND window, WindowChange change);
  void PlaceDialog(HWND dialog, QWidget* widget);
  // Once shown: a window the window manager framed or placed off the screen
  // is fitted and placed again.
  void KeepFramedOnScreen(QWidget* widget);

  PictureTable pictures_;
  ControlTexts texts_;
  BoxLayout boxLayout_;
  QFont font_;
  DialogBaseUnits baseUnits_;
  std::map<HWND, QPointer<QWidget>> widgets_;
  std::map<int, std::function<void()>> waitObservers_;
  int nextObserverId_ = 1;
  bool posted_ = false;
  bool syncing_ = false;  // mirroring the layer's state into a widget
  int answering_ = 0;     // waits for input, boxes and dialogs running
  QPointer<QWidget> busyNote_;
  std::unique_ptr<QObject> busyInputFilter_;
  bool WaitForInputUnlessIdle();
  // After the open-file dialog: the focus goes to a control of the window
  // that owned it (see the definition).
  void ReturnFocusAfterDialog();
  QEventLoop* waiting_ = nullptr;
  QPointer<QWidget> focusReturnsTo_;
  QPointer<QWidget> focusBefore_;
};

// The dialog font: DejaVu Sans (any sans-serif face when it is missing) at
// 8 points on a 96 dpi dialog, 11 pixels, as Windows sizes MS Sans Serif.
QFont MakeDialogFont();
// Base units as Windows computes them: the average width of the 52 letters
// (rounded half up) and the character height.
DialogBaseUnits ComputeBaseUnits(const QFont& font);

// The text of an 8-bit string of the program (local encoding), and back.
QString FromProgramText(const std::string& text);
std::string ToProgramText(const QString& text);

}  // namespace qtr5
