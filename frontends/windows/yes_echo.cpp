#include "frontends/windows/yes_echo.h"

#include <optional>
#include <string>
#include <utility>

#include "app/window_watcher.h"
#include "text/transcript.h"

namespace {

struct EchoState {
  bool on = false;
  std::function<void(const char*)> echo;
  qtr5::Transcript transcript;  // status, report and progress lines
};
EchoState g_echo;

void Echo(const std::optional<std::string>& line) {
  if (line && g_echo.echo) g_echo.echo(line->c_str());
}

// What the main window shows, as the application tells it.
class EchoWatcher : public WindowWatcher {
 public:
  void StatusShown(std::string_view text) override { Echo(g_echo.transcript.StatusLine(text)); }
  void ReportRowShown(int row, std::string_view value) override {
    if (row < 0) return;
    Echo(g_echo.transcript.ReportLine(ReportLabels(), static_cast<std::size_t>(row), value));
  }
  void ProgressShown(int percent) override { Echo(g_echo.transcript.ProgressLine(percent)); }
};
EchoWatcher g_echoWatcher;

}  // namespace

void StartYesEcho(std::function<void(const char* line)> echo) {
  g_echo = EchoState{};
  g_echo.on = true;
  g_echo.echo = std::move(echo);
}

void StopYesEcho() {
  g_echo = EchoState{};
}

WindowWatcher* YesEcho() {
  return g_echo.on ? &g_echoWatcher : nullptr;
}

void EchoNotice(const std::string& caption, const std::string& text) {
  Echo(qtr5::MessageBoxLine(caption, text));
}
