// Recording every request and its outcome.
#include "transports/recording/recording_provider.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <thread>

#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <ext/stdio_filebuf.h>
#endif

#include "aspi/command_time_limits.h"
#include "aspi/srb_access.h"
#include "image/regular_file.h"
#include "transports/recording/session_format.h"

using json = nlohmann::ordered_json;

namespace {

// Waits until the provider has stored a final status (or, for a command,
// sense data, which end it for the program as well), or until the time such
// a command may take has run out. True when the outcome is known.
bool WaitUntilFinal(const std::uint8_t& status, std::chrono::milliseconds limit,
                    const std::uint8_t* sense = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (LoadSrbByte(status) == SS_PENDING && (sense == nullptr || LoadSrbByte(*sense) == 0)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

json Nullable(bool present, json value) {
  return present ? std::move(value) : json(nullptr);
}

// Why the file at `path` must not be replaced by a recording, or "": a
// regular file that holds something other than a recording of this program
// (the firmware image, a document) is never emptied; an empty one and an
// earlier recording may be replaced. Only its first line is read.
std::string NotARecording(const std::string& path) {
  int error = 0;
  std::uint64_t size = 0;
  std::FILE* file = OpenRegularFile(path.c_str(), false, error, &size);
  if (file == nullptr) return "";  // none there, or no regular file: found out below
  std::string line;
  for (int c; line.size() <= 4096 && (c = std::fgetc(file)) != EOF && c != '\n';)
    line += static_cast<char>(c);
  std::fclose(file);
  if (size == 0 || recording::IsHeaderLine(line)) return "";
  return ": the file is there and is not a recording of this program; it is left as it is "
         "(name a new file, or remove it first)";
}

#ifndef _WIN32
// A stream over a file the program opened itself, close-on-exec: a program
// started during the run (the sleep inhibitor) does not inherit the
// recording. Owns the descriptor.
class DescriptorStream : public std::ostream {
 public:
  explicit DescriptorStream(int fd) : std::ostream(nullptr), buffer_(fd, std::ios::out) {
    rdbuf(&buffer_);
  }

 private:
  __gnu_cxx::stdio_filebuf<char> buffer_;
};
#endif

}  // namespace

RecordingProvider::RecordingProvider(AspiProvider& inner, std::ostream& out,
                                     DiagnosticSink messages)
    : inner_(inner), out_(out), messages_(std::move(messages)) {}

std::unique_ptr<RecordingProvider> RecordingProvider::Create(AspiProvider& inner,
                                                             const std::string& path,
                                                             std::string& error,
                                                             DiagnosticSink messages) {
  if (const std::string why = NotARecording(path); !why.empty()) {
    error = "Cannot write the session recording \"" + path + "\"" + why;
    return nullptr;
  }
#ifndef _WIN32
  // Opening a pipe for writing waits for a reader, forever if none comes:
  // opened without waiting first, a pipe nobody reads is refused instead.
  const int probe =
      open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (probe < 0) {
    error = "Cannot write the session recording \"" + path + "\"" +
            (errno == ENXIO ? ": no program reads the pipe" : ": " + std::string(strerror(errno)));
    return nullptr;
  }
  // Held open until the stream below has its own: a reader of a pipe that
  // is there now stays there.
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } holder{probe};
#endif
#ifdef _WIN32
  std::unique_ptr<std::ostream> file =
      std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc);
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
  std::unique_ptr<std::ostream> file;
  if (fd >= 0) file = std::make_unique<DescriptorStream>(fd);
#endif
  if (!file || !*file) {
    error = "Cannot write the session recording \"" + path + "\"";
    return nullptr;
  }
  auto provider = std::make_unique<RecordingProvider>(inner, *file, std::move(messages));
  provider->file_ = std::move(file);
  return provider;
}

const char* RecordingProvider::Name() const {
  return inner_.Name();
}

std::vector<std::string> RecordingProvider::DeviceNames(aspi::BYTE adapter,
                                                        aspi::BYTE target) const {
  return inner_.DeviceNames(adapter, target);
}

bool RecordingProvider::FindDevice(std::string_view name, aspi::BYTE& adapter,
                                   aspi::BYTE& target) const {
  return inner_.FindDevice(name, adapter, target);
}

AspiProvider::KnownDevice RecordingProvider::KnownIdentity(aspi::BYTE adapter,
                                                           aspi::BYTE target) const {
  return inner_.KnownIdentity(adapter, target);
}

void RecordingProvider::AddMessages(json& record) {
  if (transportMessages_ == nullptr) return;
  std::vector<std::string> lines = transportMessages_->Take();
  if (!lines.empty()) record["messages"] = std::move(lines);
}

void RecordingProvider::Write(const std::string& line) {
  if (!headerWritten_) {
    headerWritten_ = true;
    json header;
    header["record"] = "header";
    header["format"] = recording::kFormatName;
    header["version"] = recording::kFormatVersion;
    header["provider"] = inner_.Name();
    if (!diagnostics_.empty()) header["diagnostics"] = diagnostics_;
    json names = json::object();
    for (aspi::DWORD a = 0; a < adapters_; ++a) {
      for (aspi::BYTE t = 0; t < 8; ++t) {
        std::vector<std::string> list = inner_.DeviceNames(static_cast<aspi::BYTE>(a), t);
        if (!list.empty()) names[std::to_string(a) + ":" + std::to_string(t)] = list;
      }
    }
    if (!names.empty()) header["names"] = std::move(names);
    Write(header.dump());
  }
  out_ << line << '\n' << std::flush;
  if (!out_ && good_) {
    good_ = false;
    Tell(messages_, "The session recording could not be written; it ends before this command.");
  }
}

aspi::DWORD RecordingProvider::GetSupportInfo() {
  const aspi::DWORD result = inner_.GetSupportInfo();
  adapters_ = result & 0xFF;
  json record;
  record["record"] = "support_info";
  record["status"] = (result >> 8) & 0xFF;
  record["adapters"] = result & 0xFF;
  Write(record.dump());
  return result;
}

aspi::DWORD RecordingProvider::SendCommand(void* request) {
  if (request == nullptr) return inner_.SendCommand(request);
  const aspi::BYTE kind = static_cast<SRB_Header*>(request)->SRB_Cmd;
  if (kind == SC_EXEC_SCSI_CMD) {
    auto& srb = *static_cast<SRB_ExecSCSICmd*>(request);
    // What the program asked for, before the provider may change the block.
    const json asked = recording::DescribeExecRequest(srb);
    const std::uint32_t length = srb.SRB_BufLen;
    const aspi::DWORD returned = inner_.SendCommand(request);
    // A block the provider refused outright (an invalid request, an adapter
    // it lacks) has ended with that answer and may never have its status
    // written: waiting for one would stall the scan at every address.
    const bool refused = returned != SS_PENDING && returned != SS_COMP;
    if (!refused) {
      WaitUntilFinal(srb.SRB_Status, CommandTimeLimit(srb.CDBByte) + CommandWaitGrace(),
                     srb.SRB_SenseLen > 0 ? &srb.SenseArea[0] : nullptr);
    }
    const aspi::BYTE status = LoadSrbByte(srb.SRB_Status);
    json record;
    record["record"] = "exec";
    for (const auto& [key, value] : asked.items()) record[key] = value;
    record["return"] = returned;
    record["status"] = status;
    record["ha_stat"] = srb.SRB_HaStat;
    record["targ_stat"] = srb.SRB_TargStat;
    const std::uint8_t* sense = recording::SenseBytes(srb);
    bool anySense = false;
    for (int i = 0; i < srb.SRB_SenseLen; ++i) anySense = anySense || sense[i] != 0;
    record["sense"] = anySense ? recording::HexEncode(sense, srb.SRB_SenseLen) : "";
    const bool in = (srb.SRB_Flags & SRB_DIR_IN) != 0 && (srb.SRB_Flags & SRB_DIR_OUT) == 0;
    // Only a command that completed well brought data back; the buffer of
    // any other holds what the program left there, which is no answer.
    record["data_in"] =
        Nullable(in && srb.SRB_BufPointer != nullptr,
                 recording::HexEncode(srb.SRB_BufPointer, in && status == SS_COMP ? length : 0));
    record["buf_len_after"] =
        Nullable((srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0, aspi::DWORD{srb.SRB_BufLen});
    pending_ = status == SS_PENDING && !refused ? request : nullptr;
    AddMessages(record);
    Write(record.dump());
    return returned;
  }
  const aspi::DWORD returned = inner_.SendCommand(request);
  json record;
  if (kind == SC_ABORT_SRB) {
    auto& abort = *static_cast<SRB_Abort*>(request);
    record["record"] = "abort";
    record["ha"] = abort.SRB_HaId;
    record["return"] = returned;
    record["status"] = LoadSrbByte(abort.SRB_Status);
    json aborted = nullptr;
    if (abort.SRB_ToAbort != nullptr && abort.SRB_ToAbort == pending_) {
      auto& target = *static_cast<SRB_ExecSCSICmd*>(pending_);
      WaitUntilFinal(target.SRB_Status, CommandWaitGrace());
      aborted = LoadSrbByte(target.SRB_Status);
      pending_ = nullptr;
    }
    record["aborted_status"] = aborted;
  } else if (kind == SC_RESET_DEV) {
    auto& reset = *static_cast<SRB_BusDeviceReset*>(request);
    WaitUntilFinal(reset.SRB_Status, CommandWaitGrace());
    record["record"] = "reset";
    record["ha"] = reset.SRB_HaId;
    record["target"] = reset.SRB_Target;
    record["lun"] = reset.SRB_Lun;
    record["return"] = returned;
    record["status"] = LoadSrbByte(reset.SRB_Status);
    record["ha_stat"] = reset.SRB_HaStat;
    record["targ_stat"] = reset.SRB_TargStat;
  } else {
    record["record"] = "other";
    record["cmd"] = kind;
    record["return"] = returned;
    record["status"] = static_cast<SRB_Header*>(request)->SRB_Status;
  }
  AddMessages(record);
  Write(record.dump());
  return returned;
}
