#include "tests/qt/qt_harness.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/main_dialog.h"
#include "app/run_context.h"
#include "app/select_device.h"
#include "discovery/device_table.h"
#include "resources/program_resources.h"
#include "resources/resource_ids.h"
#include "winui/qt/qt_controls.h"
#include "winui/qt/qt_pictures.h"

int PictureIdOf(const QImage& picture) {
  if (picture.isNull()) return 0;
  for (int id : qtr5::AllBitmapIds()) {
    if (qtr5::LoadPicture(qtr5::ProgramPictures(), id).convertToFormat(QImage::Format_RGB32) ==
        picture.convertToFormat(QImage::Format_RGB32))
      return id;
  }
  return -1;
}

void RecordingBackend::Repaint(HWND window) {
  QtBackend::Repaint(window);
  if (mainWindow == nullptr) return;
  if (window != GetDlgItem(mainWindow, kIdPicture) && window != GetDlgItem(mainWindow, kIdProgress))
    return;
  Frame frame;
  if (auto* button =
          dynamic_cast<qtr5::PictureButton*>(WidgetOf(GetDlgItem(mainWindow, kIdPicture))))
    frame.picture = PictureIdOf(button->Picture());
  if (auto* bar =
          dynamic_cast<qtr5::TextProgressBar*>(WidgetOf(GetDlgItem(mainWindow, kIdProgress)))) {
    frame.progressText = bar->text().toStdString();
    frame.progressValue = bar->value();
  }
  frames.push_back(frame);
  if (afterRepaint) afterRepaint(frame);
}

bool RecordingBackend::WaitForInput() {
  QTimer limit;
  limit.setSingleShot(true);
  bool expired = false;
  QObject::connect(&limit, &QTimer::timeout, [&] {
    expired = true;
    InputPosted();  // ends the wait
  });
  limit.start(inputLimitMs);
  return QtBackend::WaitForInput() && !expired;
}

QtAppTest::QtAppTest() : bus_(std::make_unique<EmulatedBus>()) {
  ResetApplicationState();
  g_app = nullptr;
  g_selectList = nullptr;
  qtr5::ResetWindowSystem();
  installed_ = std::make_unique<qtr5::ScopedBackend>(backend_);
  bus_->SetClock([this] { return clock_.Now(); });
  InstallAspiProvider(bus_.get());
  backend_.AddWaitObserver([this] {
    // Steps that post nothing (selecting a row) are followed by the next one.
    while (!steps_.empty() && !backend_.InputPending()) {
      auto step = std::move(steps_.front());
      steps_.pop_front();
      step();
    }
  });
  previousDir_ = std::filesystem::current_path().string();
  std::filesystem::current_path(workDir_.path());
}

QtAppTest::~QtAppTest() {
  app_.reset();
  g_app = nullptr;
  InstallAspiProvider(nullptr);
  installed_.reset();
  qtr5::ResetWindowSystem();
  QApplication::processEvents();  // deletes the closed windows
  std::filesystem::current_path(previousDir_);
  ResetApplicationState();
}

void QtAppTest::AddDrive(std::uint8_t adapter, std::uint8_t target, DeviceOptions options) {
  std::string error;
  ASSERT_TRUE(bus_->AddDevice(adapter, target, options, error)) << error;
}

void QtAppTest::WriteFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

void QtAppTest::WriteDefaultImage() {
  // Firmware-like bytes, with "1.10" as the revision the drive takes on.
  WriteFile(kDefaultImageName, FirmwareLikeHexFile());
}

DownloadApp& QtAppTest::Start() {
  app_ = std::make_unique<DownloadApp>(nullptr, MAKEINTRESOURCEA(kDialogMain), MainDialogProc,
                                       SW_SHOW, run_);
  g_app = app_.get();
  backend_.mainWindow = app_->mainWindow;
  return *app_;
}

HWND QtAppTest::Main() const {
  if (app_) return app_->mainWindow;
  for (HWND dialog : qtr5::TopLevelWindows()) {
    const qtr5::DialogTemplate* tmpl = qtr5::DialogTemplateOf(dialog);
    if (tmpl != nullptr && tmpl->id == kDialogMain) return dialog;
  }
  return nullptr;
}

QWidget* QtAppTest::DialogWindow(int templateId) const {
  for (HWND dialog : qtr5::TopLevelWindows()) {
    const qtr5::DialogTemplate* tmpl = qtr5::DialogTemplateOf(dialog);
    if (tmpl != nullptr && tmpl->id == templateId) return backend_.WidgetOf(dialog);
  }
  return nullptr;
}

QWidget* QtAppTest::DialogControl(int templateId, int id) const {
  for (HWND dialog : qtr5::TopLevelWindows()) {
    const qtr5::DialogTemplate* tmpl = qtr5::DialogTemplateOf(dialog);
    if (tmpl != nullptr && tmpl->id == templateId) return backend_.WidgetOf(GetDlgItem(dialog, id));
  }
  return nullptr;
}

bool QtAppTest::ClickSelectDeviceRow(int row) const {
  auto* list = dynamic_cast<QTreeWidget*>(DialogControl(kDialogSelectDevice, kIdDeviceList));
  if (list == nullptr || list->topLevelItem(row) == nullptr) return false;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->topLevelItem(row)).center());
  return true;
}

int QtAppTest::Run() {
  return app_->RunMessageLoop();
}

int QtAppTest::ShownPicture() const {
  auto* button = ControlAs<qtr5::PictureButton>(kIdPicture);
  return button == nullptr ? 0 : PictureIdOf(button->Picture());
}

QString QtAppTest::ShownStatus() const {
  auto* status = ControlAs<qtr5::StaticText>(kIdStatus);
  return status == nullptr ? QString() : status->ShownText();
}

QString QtAppTest::ShownCell(int row, int column) const {
  auto* list = ControlAs<QTreeWidget>(kIdReport);
  if (list == nullptr || row >= list->topLevelItemCount()) return QString();
  return list->topLevelItem(row)->text(column);
}

void QtAppTest::WhenModal(std::function<void(QWidget*)> answer) {
  modalAnswers_.push_back(std::move(answer));
  ArmModalWatch();
}

void QtAppTest::ArmModalWatch() {
  if (watching_ || modalAnswers_.empty()) return;
  watching_ = true;
  // Looks for the modal window from inside its own event loop.
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [this, timer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    auto answer = std::move(modalAnswers_.front());
    modalAnswers_.pop_front();
    watching_ = false;
    ++modalAnswered_;
    answer(modal);
    ArmModalWatch();
  });
  timer->start();
}

void QtAppTest::CloseMain() {
  Window()->close();
}

BoxContents ReadBox(QWidget* modal) {
  BoxContents contents;
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (box == nullptr) return contents;
  contents.title = box->windowTitle();
  contents.text = box->text();
  contents.more = box->informativeText();
  contents.details = box->detailedText();
  contents.icon = box->icon();
  for (QAbstractButton* button : box->buttons()) contents.buttons << button->text().remove(u'&');
  return contents;
}

void ClickBoxButton(QWidget* modal, const QString& label) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (box == nullptr) return;
  for (QAbstractButton* button : box->buttons()) {
    if (button->text().remove(u'&') == label) {
      button->click();
      return;
    }
  }
}
