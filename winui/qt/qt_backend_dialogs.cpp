// The Qt backend's message boxes and open-file dialog.
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <vector>

#include "winui/qt/qt_backend.h"

namespace qtr5 {
namespace {

// The patterns of a filter, lower-cased, each once.
QStringList PatternSet(const QString& patterns) {
  QStringList set =
      patterns.toLower().split(QRegularExpression(QStringLiteral("[ ;]+")), Qt::SkipEmptyParts);
  set.sort();
  set.removeDuplicates();
  return set;
}

}  // namespace

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
  const BoxText shown = boxLayout_ ? boxLayout_(text, caption) : BoxText{text, {}, {}};
  QMessageBox box(icon, FromProgramText(caption), FromProgramText(shown.text), buttons,
                  WidgetOf(owner));
  box.setFont(font_);
  if (!shown.more.empty()) box.setInformativeText(FromProgramText(shown.more));
  if (!shown.details.empty()) box.setDetailedText(FromProgramText(shown.details));
  // The first button is the default, or the second with MB_DEFBUTTON2.
  const std::size_t defaultChoice =
      (type & MB_DEFMASK) == MB_DEFBUTTON2 && choices.size() > 1 ? 1 : 0;
  box.setDefaultButton(choices[defaultChoice].button);
  // Esc answers Cancel where there is one, and OK on a box with only OK.
  for (const Choice& c : choices)
    if (c.answer == IDCANCEL || choices.size() == 1) box.setEscapeButton(c.button);
  // Over the owner where it is now: what the window system said about a move
  // made while the program was busy is taken in before the box is placed.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  CloseBusyNote();
  ++answering_;
  const int chosen = box.exec();
  --answering_;
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
  CloseBusyNote();
  // Where the focus goes back to is decided once the program has taken the
  // answer in (a chosen file enables Download): at its next wait.
  QWidget* owner = WidgetOf(request.owner);
  focusReturnsTo_ = owner != nullptr ? owner->window() : nullptr;
  focusBefore_ = focusReturnsTo_ != nullptr ? focusReturnsTo_->focusWidget() : nullptr;
  ++answering_;
  const int result = dialog.exec();
  --answering_;
  if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return ToProgramText(QDir::toNativeSeparators(dialog.selectedFiles().front()));
}

void QtBackend::ReturnFocusAfterDialog() {
  QWidget* window = focusReturnsTo_;
  focusReturnsTo_ = nullptr;
  if (window == nullptr || !window->isVisible()) return;
  const auto takes = [](const QWidget* widget) {
    return widget != nullptr && widget->isVisible() && widget->isEnabled() &&
           (widget->focusPolicy() & Qt::TabFocus) != 0;
  };
  // The default button when it can be used (the next step after a file was
  // chosen), else the control that opened the dialog, else the first one
  // that takes the focus.
  QWidget* next = nullptr;
  for (QPushButton* button : window->findChildren<QPushButton*>())
    if (button->isDefault() && takes(button)) next = button;
  if (next == nullptr && takes(focusBefore_)) next = focusBefore_;
  for (QWidget* widget = window->nextInFocusChain(); next == nullptr && widget != window;
       widget = widget->nextInFocusChain())
    if (takes(widget) && widget->window() == window) next = widget;
  if (next != nullptr) next->setFocus(Qt::OtherFocusReason);
}

}  // namespace qtr5
