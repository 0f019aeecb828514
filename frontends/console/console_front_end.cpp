#include "frontends/console/console_front_end.h"

#include <iostream>
#include <string>

#include "aspi/aspi_device.h"
#include "discovery/scan_record.h"
#include "image/firmware_image.h"
#include "program/flow_questions.h"
#include "program/flow_run.h"
#include "session/flash_session.h"

void TerminalObserver::ReportRowChanged(ReportRow row, std::string_view value) {
  terminal_.ShowReportRow(ReportLabels(), static_cast<std::size_t>(row), value);
}

ConsoleFrontEnd::ConsoleFrontEnd(qtr5::Terminal& terminal, bool inputIsTerminal)
    : terminal_(terminal), inputIsTerminal_(inputIsTerminal) {}

// The program's lines are already printable; they are written as they are
// (the terminal's own PrintLine would escape their backslashes once more).
void ConsoleFrontEnd::PrintLine(std::string_view line) {
  terminal_.FinishProgressLine();
  std::cout << line << '\n';
  std::cout.flush();
}

void ConsoleFrontEnd::PrintError(std::string_view line) {
  terminal_.FinishProgressLine();
  std::cout.flush();
  std::cerr << "qtr5-download: " << line << '\n';
}

std::optional<std::string> ConsoleFrontEnd::Ask(std::string_view question) {
  if (!inputIsTerminal_) return std::nullopt;
  return terminal_.AskLine(question);
}

std::optional<std::string> ConsoleFrontEnd::AskForImageFile() {
  if (!inputIsTerminal_) return std::nullopt;
  return terminal_.AskForFile("Firmware file (*.HEX)",
                              static_cast<std::size_t>(kMaxImagePathLength));
}

Outcome ConsoleFrontEnd::RunFlow(const ProgramOptions& options, const RunProvider& transport) {
  SessionRequest request;
  RunRecord record;
  ScanRecord scan;
  // Several drives: the user chooses on a terminal; --yes and scripts never
  // get a drive picked for them.
  FillSessionRequest(options, *this, !options.yes && CanAsk(), request);
  ProgramQuestions questions(options, *this, request, record, scan);
  const FlowRun flow(options, *this, transport, record, scan, questions);
  questions.SetOnProgress([&flow] { flow.Publish(); });
  flow.Publish();
  {
    AspiDevice device;
    TerminalObserver observer(terminal_);
    FlashSession session(device, request, record, scan, observer, questions);
    session.RunAll(options.hasImage ? options.imagePath : std::string());
  }
  // What the run showed is final.
  record.mainWindowClosed = true;
  terminal_.FinishProgressLine();
  questions.TellTray();
  flow.Publish();
  return flow.Finish(record.outcome, false, true);
}

std::FILE* ConsoleFrontEnd::Output() {
  std::cout.flush();
  return stdout;
}

std::FILE* ConsoleFrontEnd::ErrorOutput() {
  return stderr;
}
