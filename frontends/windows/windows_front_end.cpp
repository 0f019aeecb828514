#include "frontends/windows/windows_front_end.h"

#include <utility>

#include "app/download_app.h"
#include "frontends/windows/automation_hooks.h"
#include "frontends/windows/busy_window.h"
#include "resources/version.h"
#include "text/printable.h"

WindowsFrontEnd::WindowsFrontEnd(const ProgramOptions& options, int showCommand)
    : DesktopFrontEnd(options), showCommand_(showCommand) {
  StartBusyWindow();
  if (!Automated()) return;
  std::FILE* echo = options.json && !options.list ? stderr : stdout;
  StartAutomationHooks([echo](const char* line) {
    // Device strings reach these lines: made harmless for a terminal.
    const std::string printable = PrintableText(line);
    std::fwrite(printable.data(), 1, printable.size(), echo);
    std::fputc('\n', echo);
    std::fflush(echo);
  });
}

WindowsFrontEnd::~WindowsFrontEnd() {
  SetIdleTimer(nullptr);
  if (Automated()) StopAutomationHooks();
  StopBusyWindow();
}

void WindowsFrontEnd::PrintLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void WindowsFrontEnd::PrintError(std::string_view line) {
  std::fflush(stdout);
  std::fputs("qtr5-download: ", stderr);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::optional<std::string> WindowsFrontEnd::Ask(std::string_view question) {
  if (Automated()) return std::nullopt;
  HWND owner = g_app != nullptr ? g_app->mainWindow : nullptr;
  const std::string text(question);
  const int answer = MessageBoxA(owner, text.c_str(), kProgramTitle, MB_YESNO | MB_ICONQUESTION);
  return std::string(answer == IDYES ? "y" : "n");
}

void WindowsFrontEnd::RunWhenIdle(std::function<bool()> handler) {
  SetIdleTimer(std::move(handler));
}

std::FILE* WindowsFrontEnd::Output() {
  std::fflush(stdout);
  return stdout;
}

std::FILE* WindowsFrontEnd::ErrorOutput() {
  std::fflush(stdout);
  return stderr;
}
