#include "frontends/windows/windows_front_end.h"

#include <utility>

#include "app/download_app.h"
#include "app/window_watcher.h"
#include "frontends/windows/browse_button.h"
#include "frontends/windows/busy_window.h"
#include "frontends/windows/report_layout.h"
#include "frontends/windows/session_end.h"
#include "frontends/windows/yes_echo.h"
#include "program/exit_status.h"
#include "text/printable.h"
#include "text/version.h"

namespace {

constexpr std::string_view kLinePrefix = "qtr5-download: ";

// What the main window shows, followed: its report laid out anew for each
// value, and with --yes everything echoed.
class ShownFollower : public WindowWatcher {
 public:
  void StatusShown(std::string_view text) override {
    if (WindowWatcher* echo = YesEcho()) echo->StatusShown(text);
  }
  void ReportRowShown(int row, std::string_view value) override {
    FitReportColumns();
    if (WindowWatcher* echo = YesEcho()) echo->ReportRowShown(row, value);
  }
  void ProgressShown(int percent) override {
    if (WindowWatcher* echo = YesEcho()) echo->ProgressShown(percent);
  }
};
ShownFollower g_shownFollower;

}  // namespace

WindowsFrontEnd::WindowsFrontEnd(const ProgramOptions& options, int showCommand, bool errorOutput)
    : DesktopFrontEnd(options), showCommand_(showCommand), errorOutput_(errorOutput) {
  StartBusyWindow();
  StartBrowseButtonLook();
  StartSessionEndGuard();
  if (!Automated()) return;
  std::FILE* echo = options.json && !options.list ? stderr : stdout;
  StartYesEcho([echo](const char* line) {
    // Device strings reach these lines: made harmless for a terminal.
    const std::string printable = PrintableText(line);
    std::fwrite(printable.data(), 1, printable.size(), echo);
    std::fputc('\n', echo);
    std::fflush(echo);
  });
}

WindowsFrontEnd::~WindowsFrontEnd() {
  if (Automated()) StopYesEcho();
  StopSessionEndGuard();
  StopBrowseButtonLook();
  StopBusyWindow();
}

std::function<void()> WindowsFrontEnd::WaitPump() {
  return PumpBusyWindow;
}

WindowWatcher* WindowsFrontEnd::Watcher() {
  return &g_shownFollower;
}

void WindowsFrontEnd::PrintLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void WindowsFrontEnd::PrintError(std::string_view line) {
  if (!errorOutput_) return Keep(line);
  std::fflush(stdout);
  std::fwrite(kLinePrefix.data(), 1, kLinePrefix.size(), stderr);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void WindowsFrontEnd::PrintErrorShownInWindow(std::string_view line) {
  if (errorOutput_) PrintError(line);
}

void WindowsFrontEnd::Keep(std::string_view line) {
  // The transport's lines come with the program's name, for a console.
  if (line.starts_with(kLinePrefix)) line.remove_prefix(kLinePrefix.size());
  const std::lock_guard<std::mutex> lock(notesMutex_);
  unseenNotes_.append(line).push_back('\n');
}

std::string WindowsFrontEnd::TakeUnseenNotes() {
  const std::lock_guard<std::mutex> lock(notesMutex_);
  return std::exchange(unseenNotes_, std::string());
}

DiagnosticSink WindowsFrontEnd::TransportSink() {
  if (errorOutput_) return StandardErrorSink();
  return [this](std::string_view line) { Keep(line); };
}

void WindowsFrontEnd::ShowUnseenNotes(int status) {
  const std::string notes = TakeUnseenNotes();
  if (notes.empty() || Automated() || status == ExitStatus(Outcome::kSuccess) ||
      status == ExitStatus(Outcome::kNotDownloaded))
    return;
  MessageBoxA(nullptr, notes.c_str(), kProgramTitle, MB_OK | MB_ICONWARNING);
}

void WindowsFrontEnd::TellNotice(const std::string& caption, const std::string& text) {
  EchoNotice(caption, text);
}

std::FILE* WindowsFrontEnd::Output() {
  std::fflush(stdout);
  return stdout;
}

std::FILE* WindowsFrontEnd::ErrorOutput() {
  std::fflush(stdout);
  return stderr;
}
