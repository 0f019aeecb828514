#include "frontends/desktop/desktop_program.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <QCoreApplication>
#include "app/download_app.h"

#include "app/main_dialog.h"
#include "app/run_context.h"
#include "frontends/desktop/box_layout.h"
#include "frontends/desktop/guard_warning.h"
#include "frontends/dialog/desktop_front_end.h"
#include "program/program.h"
#include "resources/resource_ids.h"
#include "system/interruption.h"
#include "text/version.h"
#include "winui/backend.h"
#include "winui/qt/qt_backend.h"

namespace qtr5 {
namespace {

constexpr const char* kProgramName = "qtr5-download-gui";

// The rule of the window's exit status, as --help ends with it.
constexpr const char* kWindowExitStatusHelp =
    "qtr5-download-gui ends with the status of what its run did, as above, also\n"
    "when its window is closed: 0 after a download that was done, 3 when no drive\n"
    "was found, 6 when the window was closed before a download, 8 when a signal\n"
    "ended the run.";

// The waits of the download (the progress display, the settle delays, a
// command the drive holds) call this: the window repaints and hears the
// window system (the title bar's close button, which X11 counts as user
// input, is met with the note at once), while the user's clicks and keys
// are dropped until the download has ended.
void PumpWindowSystem() {
  QtBackend::AnswerWindowSystem();
}

// Lines for the user go to standard output, diagnostics to standard error
// and, when nobody watches a terminal (started from the desktop), into a
// message box as well.
class QtFrontEnd : public DesktopFrontEnd {
 public:
  QtFrontEnd(const ProgramOptions& options, QtBackend* backend, bool messagesInBoxes)
      : DesktopFrontEnd(options),
        backend_(backend),
        messagesInBoxes_(messagesInBoxes),
        json_(options.json) {}

  std::function<void()> WaitPump() override {
    return backend_ != nullptr ? PumpWindowSystem : std::function<void()>();
  }
  const char* ProgramName() const override { return kProgramName; }
  void PrintLine(std::string_view line) override {
    std::fprintf(stdout, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stdout);
  }
  void PrintError(std::string_view line) override {
    PrintErrorShownInWindow(line);
    if (backend_ == nullptr || !messagesInBoxes_) return;
    // Once the window is gone, what is left to tell comes in one box.
    if (windowGone_ || (run_ != nullptr && run_->mainWindowClosed)) {
      afterWindow_.append(line).append("\n");
      return;
    }
    backend_->ShowMessageBox(ActiveDialog(), std::string(line), kProgramTitle,
                             MB_OK | MB_ICONWARNING);
  }
  void PrintErrorShownInWindow(std::string_view line) override {
    std::fprintf(stderr, "%s: %.*s\n", kProgramName, static_cast<int>(line.size()), line.data());
  }
  // The lines told after the window was closed, in one box.
  void TellWhatCameAfterTheWindow() {
    while (!afterWindow_.empty() && afterWindow_.back() == '\n') afterWindow_.pop_back();
    if (!afterWindow_.empty())
      backend_->ShowMessageBox(nullptr, afterWindow_, kProgramTitle, MB_OK | MB_ICONWARNING);
    afterWindow_.clear();
  }
  void AfterMainWindow(const RunRecord& /*run*/) override {
    run_ = nullptr;
    windowGone_ = true;
  }
  void BeforeMainWindow(const RunRecord& run) override {
    run_ = &run;
    if (!sayWhereDefaultIs_ || CheckDefaultImage() == DefaultImage::kUsable) return;
    sayWhereDefaultIs_ = false;
    std::error_code error;
    const std::string folder = std::filesystem::current_path(error).string();
    const std::string note = std::string(kDefaultImageName) + " was looked for in " +
                             (error ? std::string("the current folder") : folder) +
                             " (the folder the program was started in). Choose the image with "
                             "the browse button, or open the file with this program.";
    PrintErrorShownInWindow(note);
    // Said in the box that tells the image is missing: one box, not two.
    if (boxes_ != nullptr) boxes_->defaultImageNote = note;
  }
  void SetBoxContext(BoxContext* boxes) { boxes_ = boxes; }
  // The run whose main window is up; null before and after.
  const RunRecord* ShownRun() const { return run_; }
  void SayWhereTheDefaultImageIsLookedFor() { sayWhereDefaultIs_ = true; }
  std::FILE* Output() override { return stdout; }
  std::FILE* ErrorOutput() override { return stderr; }
  DiagnosticSink TransportSink() override { return transportSink_; }
  void SetTransportSink(DiagnosticSink sink) { transportSink_ = std::move(sink); }

 protected:
  // A run nobody works at the window (--yes) waits for no click: its
  // notices (the reboot) are printed, beside the --json summary on standard
  // error.
  void TellNotice(const std::string& caption, const std::string& text) override {
    const std::string line = caption + ": " + text;
    if (json_) {
      std::fprintf(stderr, "%s\n", line.c_str());
    } else {
      PrintLine(line);
    }
  }

 private:
  DiagnosticSink transportSink_ = StandardErrorSink();
  QtBackend* backend_;
  bool messagesInBoxes_;
  bool json_;
  bool sayWhereDefaultIs_ = false;
  const RunRecord* run_ = nullptr;  // the run whose main window is made
  bool windowGone_ = false;
  std::string afterWindow_;
  BoxContext* boxes_ = nullptr;
};

// The transports' lines go to standard error, as in every program, and
// are kept for a message box the next time the window waits for its user,
// unless a box that says why something failed took them in its details.
class TransportMessages {
 public:
  TransportMessages(QtBackend& backend, BoxContext& boxes, bool enabled)
      : backend_(backend), kept_(boxes.transportLines) {
    if (!enabled) return;
    observer_ = backend_.AddWaitObserver([this] {
      std::string text;
      text.swap(kept_);
      while (!text.empty() && text.back() == '\n') text.pop_back();
      if (!text.empty())
        backend_.ShowMessageBox(ActiveDialog(), text, kProgramTitle, MB_OK | MB_ICONWARNING);
    });
  }
  ~TransportMessages() {
    if (observer_ != 0) backend_.RemoveWaitObserver(observer_);
  }
  TransportMessages(const TransportMessages&) = delete;
  TransportMessages& operator=(const TransportMessages&) = delete;

  // The sink to hand to the transports while this object lives.
  DiagnosticSink Sink() {
    DiagnosticSink standardError = StandardErrorSink();
    if (observer_ == 0) return standardError;
    return [this, standardError](std::string_view line) {
      standardError(line);
      kept_.append(line).append("\n");
    };
  }

 private:
  QtBackend& backend_;
  std::string& kept_;
  int observer_ = 0;
};

}  // namespace

BusyCloseNoteShown::BusyCloseNoteShown(QtBackend& backend) {
  SetBusyCloseNote({[&backend](HWND window) { backend.ShowBusyNote(window, BusyCloseText()); },
                    [&backend] { backend.CloseBusyNote(); }});
}

BusyCloseNoteShown::~BusyCloseNoteShown() {
  SetBusyCloseNote({});
}

ParseResult ParseDesktopArguments(int argc, const char* const* argv) {
  if (argc == 2 && argv[1][0] != '-') {
    const char* const openWith[] = {argv[0], "--image", argv[1], nullptr};
    return ParseProgramOptions(3, openWith, kProgramName);
  }
  ParseResult parsed = ParseProgramOptions(argc, argv, kProgramName);
  if (parsed.action == ParseAction::kHelp) {
    while (!parsed.text.empty() && parsed.text.back() == '\n') parsed.text.pop_back();
    parsed.text += std::string("\n\n") + kWindowExitStatusHelp;
  }
  return parsed;
}

int RunDesktopProgram(const ProgramOptions& options, QtBackend* backend,
                      const DesktopSettings& settings) {
  if (options.check || options.list || backend == nullptr) {
    QtFrontEnd frontEnd(options, nullptr, false);
    return RunProgram(options, frontEnd);
  }
  QtFrontEnd frontEnd(options, backend, settings.messagesInBoxes);
  // Started from a menu, the current folder is usually the home folder,
  // where the default image is rarely kept: once the window is about to be
  // made (the options and the transport are good), say where it is looked for.
  if (!options.hasImage && !options.yes) frontEnd.SayWhereTheDefaultImageIsLookedFor();
  BoxContext boxes;
  frontEnd.SetBoxContext(&boxes);
  backend->SetBoxLayout([&boxes](const std::string& text, const std::string& caption) {
    return LayOutBox(text, caption, boxes);
  });
  int status = 0;
  {
    TransportMessages messages(*backend, boxes, settings.messagesInBoxes);
    // A person hears it in the window before the download; --yes has it
    // said on standard error and in its summary.
    std::optional<GuardWarningShown> guardWarning;
    if (!options.yes) {
      guardWarning.emplace(
          *backend, [&frontEnd] { return frontEnd.ShownRun(); },
          [&frontEnd](const std::string& line) { frontEnd.PrintErrorShownInWindow(line); });
    }
    const BusyCloseNoteShown note(*backend);
    frontEnd.SetTransportSink(messages.Sink());
    status = RunProgram(options, frontEnd);
    frontEnd.SetTransportSink(StandardErrorSink());
  }
  frontEnd.TellWhatCameAfterTheWindow();
  backend->SetBoxLayout(nullptr);
  // The status of what the run did, whoever closed the window: a script or
  // a session manager that started the window learns the outcome as from
  // qtr5-download.
  return status;
}

}  // namespace qtr5
