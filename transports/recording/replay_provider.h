// A provider that answers from a recorded session (see session_format.h)
// instead of a device. Each call must be the next one of the recording: the
// same kind of request to the same address with the same command block,
// direction, length and data. Anything else, or anything beyond the end of
// the recording, fails loudly: a message naming the line of the recording
// and the difference goes to the message stream, and the request fails
// (SS_ERR), as does every later one, since the session has left the recording.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "aspi/aspi_provider.h"
#include "aspi/diagnostic_sink.h"

class ReplayProvider final : public AspiProvider {
 public:
  // Reads the whole recording; null with `error` set when the file cannot be
  // read or is no session recording (naming the offending line).
  // The recording's lines for the user, and what went wrong, are told to
  // `messages`.
  static std::unique_ptr<ReplayProvider> Open(const std::string& path, std::string& error,
                                              DiagnosticSink messages = {});
  static std::unique_ptr<ReplayProvider> FromStream(std::istream& in, const std::string& name,
                                                    std::string& error,
                                                    DiagnosticSink messages = {});

  aspi::DWORD GetSupportInfo() override;
  aspi::DWORD SendCommand(void* request) override;
  const char* Name() const override { return "replay"; }
  // The device names the recorded run's transport gave (from the header).
  std::vector<std::string> DeviceNames(aspi::BYTE adapter, aspi::BYTE target) const override;
  bool FindDevice(std::string_view name, aspi::BYTE& adapter, aspi::BYTE& target) const override;

  // True once a call differed from the recording or went beyond it.
  bool Diverged() const { return diverged_; }
  // What the recorded run's transport said when it looked for devices
  // (lines; empty when nothing).
  const std::string& Diagnostics() const { return diagnostics_; }
  // Recorded calls not yet made.
  std::size_t Remaining() const { return records_.size() - next_; }

 private:
  struct Record {
    int line;
    nlohmann::ordered_json value;
  };

  ReplayProvider(std::string name, std::vector<Record> records, DiagnosticSink messages);

  // The next record when it is of `kind`; otherwise reports and returns null.
  const Record* Expect(const char* kind, const std::string& call);
  void Fail(const std::string& text);
  // Writes the transport's lines kept with a record, as the run that was
  // recorded wrote them.
  void Repeat(const nlohmann::ordered_json& record);
  aspi::DWORD Exec(SRB_ExecSCSICmd& srb);

  std::string name_;
  std::string diagnostics_;
  nlohmann::ordered_json names_;  // "A:T" -> list of names
  std::vector<Record> records_;
  std::size_t next_ = 0;
  DiagnosticSink messages_;
  bool diverged_ = false;
  void* pending_ = nullptr;  // an exec left pending, for a later abort
};
