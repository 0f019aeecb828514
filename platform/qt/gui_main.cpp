// qtr5-download-gui: the program in its desktop window. Same options and same
// core as qtr5-download; the window is the Qt one. Without --yes the user
// drives the window, and the program ends with status 0 once it is closed;
// with --yes the download starts by itself and the exit status tells how it
// went, as it does for qtr5-download. --check and --list need no window.
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>

#include "app/cli/options.h"
#include "app/cli/program.h"
#include "app/version.h"
#include "platform/backend.h"
#include "platform/qt/qt_backend.h"

namespace {

constexpr const char* kProgramName = "qtr5-download-gui";

// Lines for the user go to standard output; diagnostics to standard error
// and, when nobody watches a terminal (started from the desktop), into a
// message box as well.
class GuiFrontEnd : public ProgramFrontEnd {
 public:
  explicit GuiFrontEnd(qtr5::QtBackend* backend) : backend_(backend) {}

  void PrintLine(std::string_view line) override {
    std::fprintf(stdout, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stdout);
  }
  void PrintError(std::string_view line) override {
    std::fprintf(stderr, "%s: %.*s\n", kProgramName, static_cast<int>(line.size()), line.data());
    if (backend_ != nullptr && isatty(STDERR_FILENO) == 0)
      backend_->ShowMessageBox(nullptr, std::string(line), kProgramTitle, MB_OK | MB_ICONWARNING);
  }
  std::optional<std::string> Ask(std::string_view question) override {
    if (backend_ == nullptr) return std::nullopt;
    const int answer = backend_->ShowMessageBox(nullptr, std::string(question), kProgramTitle,
                                                MB_YESNO | MB_ICONQUESTION);
    return answer == IDYES ? "yes" : "no";
  }
  // The window asks its own questions (the Select Device dialog).
  bool CanAsk() const override { return backend_ != nullptr; }
  void SetIdleHandler(std::function<bool()> handler) override {
    if (backend_ != nullptr) backend_->SetIdleHandler(std::move(handler));
  }
  std::FILE* Output() override { return stdout; }
  std::FILE* ErrorOutput() override { return stderr; }

 private:
  qtr5::QtBackend* backend_;
};

// Passes what is written to std::cerr on to standard error and keeps a copy:
// the drive transports explain there why a drive cannot be used (no access to
// its device node, for example), which a desktop user would otherwise never see.
class KeepingBuffer : public std::streambuf {
 public:
  explicit KeepingBuffer(std::streambuf* target) : target_(target) {}
  std::string Take() {
    std::string text;
    text.swap(kept_);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    kept_ += static_cast<char>(c);
    return target_->sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    kept_.append(text, static_cast<std::size_t>(count));
    return target_->sputn(text, count);
  }
  int sync() override { return target_->pubsync(); }

 public:
  std::streambuf* Target() const { return target_; }

 private:
  std::streambuf* target_;
  std::string kept_;
};

// Automation only with --yes: otherwise the user clicks Download.
class InteractiveFrontEnd : public GuiFrontEnd {
 public:
  using GuiFrontEnd::GuiFrontEnd;
  void SetIdleHandler(std::function<bool()>) override {}
};

}  // namespace

int main(int argc, char** argv) {
  const ParseResult parsed = ParseProgramOptions(argc, argv, kProgramName);
  switch (parsed.action) {
    case ParseAction::kHelp:
    case ParseAction::kVersion:
      std::printf("%s\n", parsed.text.c_str());
      return ExitStatus(ProgramOutcome::kSuccess);
    case ParseAction::kUsageError:
      std::fprintf(stderr, "%s\n", parsed.text.c_str());
      return ExitStatus(ProgramOutcome::kUsageError);
    case ParseAction::kRun:
      break;
  }
  const ProgramOptions& options = parsed.options;
  if (options.check || options.list) {
    GuiFrontEnd frontEnd(nullptr);
    return RunProgram(options, frontEnd);
  }

  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  QApplication::setApplicationName(QString::fromLatin1(kProgramName));
  QApplication::setApplicationDisplayName(QString::fromLatin1(kProgramTitle));
  QApplication::setDesktopFileName(QStringLiteral("qtr5-download"));
  int status = 0;
  KeepingBuffer kept(std::cerr.rdbuf());
  const bool watched = isatty(STDERR_FILENO) != 0;
  if (!watched) std::cerr.rdbuf(&kept);
  {
    qtr5::QtBackend backend;
    qtr5::ScopedBackend installed(backend);
    // Whenever the window waits for its user, what the transport had to say
    // since the last time comes up in a message box.
    backend.SetWaitObserver([&backend, &kept] {
      const std::string text = kept.Take();
      if (!text.empty())
        backend.ShowMessageBox(qtr5::ActiveDialog(), text, kProgramTitle, MB_OK | MB_ICONWARNING);
    });
    std::unique_ptr<GuiFrontEnd> frontEnd = options.yes
                                                ? std::make_unique<GuiFrontEnd>(&backend)
                                                : std::make_unique<InteractiveFrontEnd>(&backend);
    status = RunProgram(options, *frontEnd);
  }
  std::cerr.rdbuf(kept.Target());
  if (options.yes) return status;
  // The desktop program ends with 0 once its window is closed, whatever the
  // download did; only a program that could not start says otherwise.
  if (status == ExitStatus(ProgramOutcome::kUsageError) ||
      status == ExitStatus(ProgramOutcome::kInternalFailure))
    return status;
  return ExitStatus(ProgramOutcome::kSuccess);
}
