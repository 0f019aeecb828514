#include "frontends/console/console_front_end.h"

#include <iostream>
#include <string>
#include <utility>

#include "resources/resource_ids.h"

qtr5::ConsoleWindowIds ProgramConsoleIds() {
  qtr5::ConsoleWindowIds ids;
  ids.mainDialog = kDialogMain;
  ids.deviceDialog = kDialogSelectDevice;
  ids.deviceList = kIdDeviceList;
  ids.deviceConfirm = kIdSelectOk;
  return ids;
}

void ConsoleWatcher::ReportRowShown(int row, std::string_view value) {
  if (row >= 0) backend_.ShowReportRow(ReportLabels(), static_cast<std::size_t>(row), value);
}

ConsoleFrontEnd::ConsoleFrontEnd(qtr5::ConsoleBackend& backend, bool inputIsTerminal)
    : backend_(backend), inputIsTerminal_(inputIsTerminal) {}

// The program's lines are already printable; they are written as they are
// (the backend's own PrintLine would escape their backslashes once more).
void ConsoleFrontEnd::PrintLine(std::string_view line) {
  backend_.FinishProgressLine();
  std::cout << line << '\n';
  std::cout.flush();
}

void ConsoleFrontEnd::PrintError(std::string_view line) {
  backend_.FinishProgressLine();
  std::cout.flush();
  std::cerr << "qtr5-download: " << line << '\n';
}

std::optional<std::string> ConsoleFrontEnd::Ask(std::string_view question) {
  if (!inputIsTerminal_) return std::nullopt;
  return backend_.AskLine(question);
}

void ConsoleFrontEnd::SetIdleHandler(std::function<bool()> handler) {
  backend_.SetIdleHandler(std::move(handler));
}

std::FILE* ConsoleFrontEnd::Output() {
  std::cout.flush();
  return stdout;
}

std::FILE* ConsoleFrontEnd::ErrorOutput() {
  return stderr;
}
