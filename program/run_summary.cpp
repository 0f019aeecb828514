#include "program/run_summary.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "text/printable.h"

namespace {

std::string Dump(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

char HexDigit(unsigned value) {
  return "0123456789ABCDEF"[value & 0xF];
}

}  // namespace

std::string NothingDoneSummary(ProgramOutcome outcome, const std::string& error) {
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  summary["drivesFound"] = 0;
  for (const char* key : {"drive", "image", "checksum", "newRevision", "statusLine"})
    summary[key] = nullptr;
  summary["driveTookImage"] = false;
  summary["warning"] = nullptr;
  summary["error"] = JsonText(error);
  return Dump(summary);
}

std::string CheckSummary(ProgramOutcome outcome, const std::string& file,
                         const ImageCheckReport& report) {
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(outcome);
  summary["outcome"] = OutcomeName(outcome);
  summary["image"] = JsonText(file);
  summary["result"] = JsonText(report.result);
  if (report.loaded) {
    const std::string checksum = {HexDigit(report.checksum >> 12), HexDigit(report.checksum >> 8),
                                  HexDigit(report.checksum >> 4), HexDigit(report.checksum)};
    summary["checksum"] = checksum;
    summary["imageSha256"] = report.sha256;
  } else {
    summary["checksum"] = nullptr;
    summary["imageSha256"] = nullptr;
  }
  summary["dataBytes"] = report.dataBytes;
  summary["reason"] = report.reason.empty() ? nlohmann::ordered_json(nullptr)
                                            : nlohmann::ordered_json(JsonText(report.reason));
  return Dump(summary);
}

std::string InterruptedListSummary() {
  nlohmann::ordered_json summary;
  summary["status"] = ExitStatus(ProgramOutcome::kInterrupted);
  summary["outcome"] = OutcomeName(ProgramOutcome::kInterrupted);
  summary["drives"] = nlohmann::ordered_json::array();
  summary["drivesFound"] = 0;
  summary["rejected"] = nlohmann::ordered_json::array();
  return Dump(summary);
}

bool StandardOutputWritten(const char* programName) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int error = errno;
  std::fprintf(stderr, "%s: the output could not be written: %s\n", programName,
               std::strerror(error));
  return false;
}
