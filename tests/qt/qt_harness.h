// The bench of the window tests: the program's own code rendered by the Qt
// backend (offscreen), an emulated bus as the ASPI service, a fake clock
// behind GetTickCount and Sleep shared with the emulated drives, and a
// working directory of its own for the default image. The test acts as the
// user through Qt (QTest clicks and keys on the widgets) whenever the program
// waits for input, and answers modal Qt windows (message boxes, the
// open-file dialog) as they come up.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/download_app.h"
#include "app/main_dialog.h"
#include "app/run_context.h"
#include "frontends/desktop/desktop_program.h"
#include "tests/support/fake_clock.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"
#include "transports/emulated/emulated_bus.h"
#include "winui/qt/qt_backend.h"

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

// The resource id of the state picture a picture button shows (found by
// comparing its pixels with the program's bitmaps); 0 for none, -1 for a
// picture that is none of them.
int PictureIdOf(const QImage& picture);

// The Qt backend with a log of what every synchronous repaint put on the
// screen: the state picture and the progress bar's text.
class RecordingBackend : public qtr5::QtBackend {
 public:
  RecordingBackend() : QtBackend(qtr5::ProgramPictures(), qtr5::ProgramControlTexts()) {}
  struct Frame {
    int picture = 0;
    std::string progressText;
    int progressValue = 0;
  };
  void Repaint(HWND window) override;
  // A wait for input that sees nothing for `inputLimitMs` reports that no
  // input will come (the layer then ends the loops): a test that goes wrong
  // ends instead of hanging.
  bool WaitForInput() override;
  int inputLimitMs = 5000;
  std::vector<Frame> frames;
  // Runs after each recorded repaint.
  std::function<void(const Frame&)> afterRepaint;
  HWND mainWindow = nullptr;
};

class QtAppTest : public ::testing::Test {
 protected:
  QtAppTest();
  ~QtAppTest() override;

  void AddDrive(std::uint8_t adapter, std::uint8_t target, DeviceOptions options = {});
  void WriteFile(const std::string& name, const std::string& content);
  // QTR5_ORNA.HEX holding a small image.
  void WriteDefaultImage();

  // Builds the application as the entry does (start-up included), sets g_app.
  DownloadApp& Start();
  // Runs the program's message loop until the main window is gone.
  int Run();

  // The main window, also while the application is still being built.
  HWND Main() const;
  QWidget* Window() const { return backend_.WidgetOf(Main()); }
  QWidget* Control(int id) const { return backend_.WidgetOf(GetDlgItem(Main(), id)); }
  // The top-level window of the live dialog made from `templateId`, if any.
  QWidget* DialogWindow(int templateId) const;
  // Control `id` of that dialog.
  QWidget* DialogControl(int templateId, int id) const;
  // Clicks row `row` of the Select Device dialog's list as a user would; false when the
  // dialog, its list or the row is missing.
  bool ClickSelectDeviceRow(int row) const;
  template <class T>
  T* ControlAs(int id) const {
    return dynamic_cast<T*>(Control(id));
  }
  // The state picture on the screen, as a resource id.
  int ShownPicture() const;
  // The status line's text as drawn.
  QString ShownStatus() const;
  // Cell of the report list as drawn.
  QString ShownCell(int row, int column) const;

  // The next time the program waits for input, `step` runs (one per wait).
  void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }
  // The next modal Qt window (message box, file dialog) is handed to `answer`
  // once it is up; `answer` must close it.
  void WhenModal(std::function<void(QWidget*)> answer);
  // Closes the main window with its close box (as a step does).
  void CloseMain();

  qtr5::FakeClock clock_{1000, 5};
  std::unique_ptr<EmulatedBus> bus_;
  RecordingBackend backend_;
  RunContext run_;  // the run the application works for
  std::unique_ptr<DownloadApp> app_;
  int modalAnswered_ = 0;

 private:
  void ArmModalWatch();

  std::deque<std::function<void()>> steps_;
  std::deque<std::function<void(QWidget*)>> modalAnswers_;
  bool watching_ = false;
  std::unique_ptr<qtr5::ScopedBackend> installed_;
  // The main window's refusals show the backend's note, as in the program.
  qtr5::BusyCloseNoteShown busyCloseNote_{backend_};
  qtr5::ScopedClock scopedClock_{clock_};
  TempDir workDir_{"qtr5-qt"};
  std::string previousDir_;
};

// A message box's parts, for the checks.
struct BoxContents {
  QString title;
  QString text;
  QString more;     // informative text, below the text
  QString details;  // behind the Details button
  int icon = 0;     // QMessageBox::Icon
  QStringList buttons;
};
BoxContents ReadBox(QWidget* modal);
// Clicks the button of a message box whose text is `label` (without '&').
void ClickBoxButton(QWidget* modal, const QString& label);
