// Answering from a recorded session.
#include "transports/recording/replay_provider.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include "aspi/request_executor.h"
#include "aspi/srb_access.h"
#include "image/regular_file.h"
#include "transports/recording/session_format.h"

using json = nlohmann::ordered_json;

namespace {

// A recording is a file of a few kilobytes per command; a line longer than
// this, or a file larger, is no recording (and must not fill the memory).
constexpr std::size_t kMaxLineBytes = 1 << 20;
constexpr std::uintmax_t kMaxFileBytes = 64u << 20;

// The text of a string field, or "" when it is missing or not a string.
std::string TextField(const json& record, const char* field) {
  const auto found = record.find(field);
  return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

enum class LineRead { kLine, kEnd, kTooLong };

// One line of at most kMaxLineBytes (without its line end).
LineRead ReadLine(std::istream& in, std::string& text) {
  text.clear();
  std::istream::sentry ok(in, true);
  if (!ok) return LineRead::kEnd;
  std::streambuf* buffer = in.rdbuf();
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return text.empty() ? LineRead::kEnd : LineRead::kLine;
    }
    if (c == '\n') return LineRead::kLine;
    if (text.size() >= kMaxLineBytes) return LineRead::kTooLong;
    text.push_back(static_cast<char>(c));
  }
}

// Fields a record may leave out; when present they must be small numbers.
bool Optional(const json& record, std::initializer_list<const char*> fields, std::string& why) {
  for (const char* field : fields) {
    if (record.contains(field) && !record[field].is_number_unsigned()) {
      why = std::string("field \"") + field + "\" is of the wrong type";
      return false;
    }
  }
  return true;
}

// Checks the fields a record of its kind must have, with the right types.
bool WellFormed(const json& record, std::string& why) {
  const std::string kind = TextField(record, "record");
  auto need = [&](std::initializer_list<const char*> fields, bool (json::*test)() const) {
    for (const char* field : fields) {
      if (!record.contains(field) || !(record[field].*test)()) {
        why = std::string("field \"") + field + "\" is missing or of the wrong type";
        return false;
      }
    }
    return true;
  };
  if (kind == "support_info") return need({"status", "adapters"}, &json::is_number_unsigned);
  if (kind == "exec") {
    return need({"ha", "target", "lun", "length", "sense_len", "return", "status", "ha_stat",
                 "targ_stat"},
                &json::is_number_unsigned) &&
           need({"direction", "cdb", "sense"}, &json::is_string);
  }
  if (kind == "abort") return need({"ha", "return", "status"}, &json::is_number_unsigned);
  if (kind == "reset") {
    return need({"ha", "target", "lun", "return", "status"}, &json::is_number_unsigned) &&
           Optional(record, {"ha_stat", "targ_stat"}, why);
  }
  why = "unknown record kind \"" + kind + "\"";
  return false;
}

std::string Brief(const json& request) {
  return "ha " + request["ha"].dump() + ", target " + request["target"].dump() + ", cdb " +
         request["cdb"].get<std::string>();
}

}  // namespace

ReplayProvider::ReplayProvider(std::string name, std::vector<Record> records,
                               DiagnosticSink messages)
    : name_(std::move(name)), records_(std::move(records)), messages_(std::move(messages)) {}

std::unique_ptr<ReplayProvider> ReplayProvider::Open(const std::string& path, std::string& error,
                                                     DiagnosticSink messages) {
  // Only a regular file: a pipe without a writer would block the program
  // here, and a device such as /dev/zero would never end. What was opened is
  // checked, so a name swapped for a pipe after a check cannot block it.
  int failure = 0;
  std::uint64_t size = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      OpenRegularFile(path.c_str(), false, failure, &size), &std::fclose);
  if (!file && failure == 0) {
    error = "The session recording \"" + path + "\" is not a regular file";
    return nullptr;
  }
  if (file && size > kMaxFileBytes) {
    error = "The session recording \"" + path + "\" is too large to be one (more than " +
            std::to_string(kMaxFileBytes >> 20) + " MiB)";
    return nullptr;
  }
  std::string text;
  if (file) {
    text.resize(static_cast<std::size_t>(size));
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
  }
  if (!file || std::ferror(file.get())) {
    error = "Cannot read the session recording \"" + path + "\"";
    return nullptr;
  }
  std::istringstream in(text);
  return FromStream(in, path, error, std::move(messages));
}

std::unique_ptr<ReplayProvider> ReplayProvider::FromStream(std::istream& in,
                                                           const std::string& name,
                                                           std::string& error,
                                                           DiagnosticSink messages) {
  std::vector<Record> records;
  std::string text;
  std::string diagnostics;
  json names = json::object();
  bool headerSeen = false;
  std::size_t total = 0;
  for (int line = 1;; ++line) {
    const LineRead read = ReadLine(in, text);
    const std::string where = name + ", line " + std::to_string(line) + ": ";
    if (read == LineRead::kEnd) break;
    total += text.size() + 1;
    if (read == LineRead::kTooLong || total > kMaxFileBytes) {
      error = where + "longer than any line of a session recording";
      return nullptr;
    }
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded() || !value.is_object()) {
      error = where + "not a JSON object";
      return nullptr;
    }
    if (!headerSeen) {
      if (TextField(value, "record") != "header" ||
          TextField(value, "format") != recording::kFormatName) {
        error = where + "not a session recording (its first line must be the header)";
        return nullptr;
      }
      const auto version = value.find("version");
      if (version == value.end() || !version->is_number_integer() ||
          *version != recording::kFormatVersion) {
        error = where + "recording format version " +
                (version == value.end() ? std::string("(none)") : version->dump()) +
                " is not supported (this program reads version " +
                std::to_string(recording::kFormatVersion) + ")";
        return nullptr;
      }
      headerSeen = true;
      if (value.contains("diagnostics") && value["diagnostics"].is_string())
        diagnostics = value["diagnostics"].get<std::string>();
      if (value.contains("names") && value["names"].is_object()) names = value["names"];
      continue;
    }
    std::string why;
    if (!WellFormed(value, why)) {
      error = where + why;
      return nullptr;
    }
    records.push_back(Record{line, std::move(value)});
  }
  if (!headerSeen) {
    error = name + ": the session recording is empty";
    return nullptr;
  }
  auto provider = std::unique_ptr<ReplayProvider>(
      new ReplayProvider(name, std::move(records), std::move(messages)));
  provider->diagnostics_ = std::move(diagnostics);
  provider->names_ = std::move(names);
  return provider;
}

std::vector<std::string> ReplayProvider::DeviceNames(aspi::BYTE adapter, aspi::BYTE target) const {
  std::vector<std::string> list;
  const std::string key = std::to_string(adapter) + ":" + std::to_string(target);
  if (!names_.contains(key) || !names_[key].is_array()) return list;
  for (const json& name : names_[key]) {
    if (name.is_string()) list.push_back(name.get<std::string>());
  }
  return list;
}

bool ReplayProvider::FindDevice(std::string_view name, aspi::BYTE& adapter,
                                aspi::BYTE& target) const {
  for (const auto& [key, list] : names_.items()) {
    if (!list.is_array()) continue;
    for (const json& entry : list) {
      if (!entry.is_string() || entry.get<std::string>() != name) continue;
      unsigned a = 0;
      unsigned t = 0;
      if (std::sscanf(key.c_str(), "%u:%u", &a, &t) != 2 || a > 255 || t > 7) return false;
      adapter = static_cast<aspi::BYTE>(a);
      target = static_cast<aspi::BYTE>(t);
      return true;
    }
  }
  return false;
}

void ReplayProvider::Repeat(const nlohmann::ordered_json& record) {
  if (!record.contains("messages") || !record["messages"].is_array()) return;
  for (const json& line : record["messages"]) {
    if (line.is_string()) Tell(messages_, recording::kReplayedPrefix + line.get<std::string>());
  }
}

void ReplayProvider::Fail(const std::string& text) {
  diverged_ = true;
  Tell(messages_, "replay " + name_ + ": " + text);
}

const ReplayProvider::Record* ReplayProvider::Expect(const char* kind, const std::string& call) {
  if (diverged_) {
    Fail("not answered, the session has already left the recording: " + call);
    return nullptr;
  }
  if (next_ >= records_.size()) {
    const int last = records_.empty() ? 1 : records_.back().line;
    Fail("the program made a call beyond the end of the recording (line " + std::to_string(last) +
         "): " + call);
    return nullptr;
  }
  const Record& record = records_[next_];
  const std::string recorded = record.value["record"].get<std::string>();
  if (recorded != kind) {
    Fail("line " + std::to_string(record.line) + ": the program made the call " + call +
         " where the recording has a \"" + recorded + "\" record");
    return nullptr;
  }
  ++next_;
  return &record;
}

aspi::DWORD ReplayProvider::GetSupportInfo() {
  const Record* record = Expect("support_info", "support_info");
  if (record == nullptr) return aspi::DWORD{SS_FAILED_INIT} << 8;
  return (record->value["status"].get<aspi::DWORD>() & 0xFF) << 8 |
         (record->value["adapters"].get<aspi::DWORD>() & 0xFF);
}

aspi::DWORD ReplayProvider::SendCommand(void* request) {
  if (request == nullptr) return SS_INVALID_SRB;
  auto* header = static_cast<SRB_Header*>(request);
  switch (header->SRB_Cmd) {
    case SC_EXEC_SCSI_CMD:
      return Exec(*static_cast<SRB_ExecSCSICmd*>(request));
    case SC_ABORT_SRB: {
      auto& abort = *static_cast<SRB_Abort*>(request);
      const Record* record = Expect("abort", "abort (ha " + std::to_string(abort.SRB_HaId) + ")");
      if (record == nullptr) {
        StoreSrbByte(abort.SRB_Status, SS_ERR);
        return SS_ERR;
      }
      const json& value = record->value;
      if (abort.SRB_ToAbort != nullptr && abort.SRB_ToAbort == pending_ &&
          value.contains("aborted_status") && value["aborted_status"].is_number_unsigned()) {
        CompleteRequest(*static_cast<SRB_ExecSCSICmd*>(pending_),
                        value["aborted_status"].get<aspi::BYTE>());
        pending_ = nullptr;
      }
      Repeat(value);
      StoreSrbByte(abort.SRB_Status, value["status"].get<aspi::BYTE>());
      return value["return"].get<aspi::DWORD>();
    }
    case SC_RESET_DEV: {
      auto& reset = *static_cast<SRB_BusDeviceReset*>(request);
      const std::string call = "reset (ha " + std::to_string(reset.SRB_HaId) + ", target " +
                               std::to_string(reset.SRB_Target) + ")";
      const Record* record = Expect("reset", call);
      if (record == nullptr) {
        return CompleteRequest(reset, SS_ERR);
      }
      const json& value = record->value;
      if (value.value("ha", -1) != reset.SRB_HaId ||
          value.value("target", -1) != reset.SRB_Target ||
          value.value("lun", -1) != reset.SRB_Lun) {
        Fail("line " + std::to_string(record->line) + ": " + call +
             " differs from the recorded reset");
        return CompleteRequest(reset, SS_ERR);
      }
      Repeat(value);
      reset.SRB_HaStat = value.value("ha_stat", aspi::BYTE{0});
      reset.SRB_TargStat = value.value("targ_stat", aspi::BYTE{0});
      CompleteRequest(reset, value["status"].get<aspi::BYTE>());
      return value["return"].get<aspi::DWORD>();
    }
    default:
      Fail("the program made a call of kind " + std::to_string(header->SRB_Cmd) +
           ", which a recording cannot answer");
      StoreSrbByte(header->SRB_Status, SS_INVALID_CMD);
      return SS_INVALID_CMD;
  }
}

aspi::DWORD ReplayProvider::Exec(SRB_ExecSCSICmd& srb) {
  StoreSrbByte(srb.SRB_Status, SS_PENDING);
  const json asked = recording::DescribeExecRequest(srb);
  const Record* record = Expect("exec", Brief(asked));
  if (record == nullptr) {
    return CompleteRequest(srb, SS_ERR);
  }
  const json& value = record->value;
  const std::string differences = recording::DescribeDifferences(asked, value);
  if (!differences.empty()) {
    Fail("line " + std::to_string(record->line) + ": the program sent a command that differs " +
         "from the recording (" + differences + ")");
    return CompleteRequest(srb, SS_ERR);
  }
  std::vector<std::uint8_t> bytes;
  if (value.contains("data_in") && value["data_in"].is_string()) {
    if (!recording::HexDecode(value["data_in"].get<std::string>(), bytes) ||
        bytes.size() > srb.SRB_BufLen || (!bytes.empty() && srb.SRB_BufPointer == nullptr)) {
      Fail("line " + std::to_string(record->line) + ": the recorded data do not fit the buffer");
      return CompleteRequest(srb, SS_ERR);
    }
    if (!bytes.empty()) std::memcpy(srb.SRB_BufPointer, bytes.data(), bytes.size());
  }
  if (!recording::HexDecode(value["sense"].get<std::string>(), bytes) ||
      bytes.size() > srb.SRB_SenseLen) {
    Fail("line " + std::to_string(record->line) + ": the recorded sense data do not fit");
    return CompleteRequest(srb, SS_ERR);
  }
  if (!bytes.empty()) std::memcpy(recording::SenseBytes(srb), bytes.data(), bytes.size());
  Repeat(value);
  srb.SRB_HaStat = value["ha_stat"].get<aspi::BYTE>();
  srb.SRB_TargStat = value["targ_stat"].get<aspi::BYTE>();
  if (value.contains("buf_len_after") && value["buf_len_after"].is_number_unsigned()) {
    srb.SRB_BufLen = value["buf_len_after"].get<aspi::DWORD>();
  }
  const aspi::BYTE status = value["status"].get<aspi::BYTE>();
  pending_ = status == SS_PENDING ? &srb : nullptr;
  if (status == SS_PENDING) {
    StoreSrbByte(srb.SRB_Status, status);
  } else {
    CompleteRequest(srb, status);
  }
  return value["return"].get<aspi::DWORD>();
}
