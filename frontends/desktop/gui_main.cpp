// qtr5-download-gui: the program in its desktop window. Same options and same
// core as qtr5-download; the window is the Qt one (see desktop_program.h).
// Qt's own command-line options are not taken: use its environment variables
// (QT_QPA_PLATFORM, QT_SCALE_FACTOR, ...).
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "frontends/desktop/desktop_program.h"
#include "program/options.h"
#include "program/program.h"
#include "winui/backend.h"
#include "winui/qt/qt_backend.h"

int main(int argc, char** argv) {
  constexpr const char* kProgramName = "qtr5-download-gui";
  // A file alone (the desktop entry's %f) is the image to flash.
  const ParseResult parsed = qtr5::ParseDesktopArguments(argc, argv);
  if (const auto status = FinishUnlessRun(parsed)) return *status;
  const ProgramOptions& options = parsed.options;
  qtr5::DesktopSettings settings;
  settings.messagesInBoxes = isatty(STDERR_FILENO) == 0;
  // The image check and the drive list need no window (nor a display).
  if (options.check || options.list) return qtr5::RunDesktopProgram(options, nullptr, settings);

  // Without a display Qt would abort; say what is wrong instead.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if ((platform == nullptr || *platform == '\0') && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    std::fprintf(stderr,
                 "%s: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                 "set); on a terminal use qtr5-download\n",
                 kProgramName);
    return ExitStatus(ProgramOutcome::kInternalFailure);
  }

  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  QApplication::setApplicationName(QString::fromLatin1(kProgramName));
  QApplication::setDesktopFileName(QStringLiteral("qtr5-download"));
  qtr5::QtBackend backend(qtr5::ProgramPictures(), qtr5::ProgramControlTexts());
  qtr5::ScopedBackend installed(backend);
  return qtr5::RunDesktopProgram(options, &backend, settings);
}
