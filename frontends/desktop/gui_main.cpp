// qtr5-download-gui: the program in its desktop window. Same options and same
// core as qtr5-download; the window is the Qt one (see desktop_program.h).
// Qt's own command-line options are not taken: use its environment variables
// (QT_QPA_PLATFORM, QT_SCALE_FACTOR, ...).
#include <unistd.h>

#include <QApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontends/desktop/desktop_program.h"
#include "program/options.h"
#include "program/program.h"
#include "program/run_summary.h"
#include "system/interruption.h"
#include "winui/backend.h"
#include "winui/qt/qt_backend.h"

namespace {

constexpr const char* kProgramName = "qtr5-download-gui";
bool g_json = false;
QtMessageHandler g_qtMessages = nullptr;

// No window can be shown: say so, give the summary a script reads, and end
// with the status of a main window that could not be made.
[[noreturn]] void EndWithoutWindow(const std::string& why) {
  const std::string message =
      "no display to show the window on (" + why + "); on a terminal use qtr5-download";
  std::fprintf(stderr, "%s: %s\n", kProgramName, message.c_str());
  if (g_json) std::printf("%s\n", NothingDoneSummary(Outcome::kInternalFailure, message).c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(ExitStatus(Outcome::kInternalFailure));
}

// Qt ends the program with abort() (and a core) when no platform plugin
// can be loaded, e.g. for a display that cannot be opened. While the
// application is made, such a fatal message ends it as above instead.
void OnQtMessageWhileStarting(QtMsgType type, const QMessageLogContext& context,
                              const QString& text) {
  if (type != QtFatalMsg) {
    if (g_qtMessages != nullptr) g_qtMessages(type, context, text);
    return;
  }
  EndWithoutWindow(text.simplified().toStdString());
}

bool Unset(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr || *value == '\0';
}

// A list, a check or a summary that never reached its reader did not succeed.
int Judged(const ProgramOptions& options, int status) {
  const bool read = options.json || options.list || options.check;
  if (read && !StandardOutputWritten(kProgramName) && status == 0)
    return ExitStatus(Outcome::kFailed);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away must not end the program (in a download, with
  // the drive's media polling still paused): its writes fail instead.
  IgnoreWriteFailureSignals();
  // A file alone (the desktop entry's %f) is the image to flash.
  const ParseResult parsed = qtr5::ParseDesktopArguments(argc, argv);
  if (const auto status = FinishUnlessRun(parsed)) return *status;
  const ProgramOptions& options = parsed.options;
  g_json = options.json;
  qtr5::DesktopSettings settings;
  // Where standard error leads nowhere, its lines are shown in boxes too;
  // not with --yes, whose window runs by itself and closes at the end:
  // nothing there waits for a person (a script would never end).
  settings.messagesInBoxes = isatty(STDERR_FILENO) == 0 && !options.yes;
  // The image check and the drive list need no window (nor a display).
  if (options.check || options.list)
    return Judged(options, qtr5::RunDesktopProgram(options, nullptr, settings));

  // Without a display Qt would abort; say what is wrong instead.
  if (Unset("QT_QPA_PLATFORM") && Unset("DISPLAY") && Unset("WAYLAND_DISPLAY"))
    EndWithoutWindow("neither DISPLAY nor WAYLAND_DISPLAY is set");

  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  g_qtMessages = qInstallMessageHandler(OnQtMessageWhileStarting);
  QApplication application(qtArgc, qtArgv);
  qInstallMessageHandler(g_qtMessages);
  QApplication::setApplicationName(QString::fromLatin1(kProgramName));
  QApplication::setDesktopFileName(QStringLiteral("qtr5-download"));
  qtr5::QtBackend backend(qtr5::ProgramPictures(), qtr5::ProgramControlTexts());
  qtr5::ScopedBackend installed(backend);
  return Judged(options, qtr5::RunDesktopProgram(options, &backend, settings));
}
