// A provider that passes every request on to another provider and writes
// the request and its outcome to a session file, one JSON object per line
// (see session_format.h), flushed line by line so that a session that ends
// badly is still on disk up to its last command. `--record FILE` puts it in
// front of the real transport; a user attaches the file to a bug report.
//
// A command is recorded once its outcome is known, so SendCommand returns
// only then (a posted command, too), or when the time the command may take
// (CommandTimeLimit plus CommandWaitGrace) has run out; such a command is
// recorded as still pending, and an abort of it with the status it ended in.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "aspi/aspi_provider.h"
#include "aspi/diagnostic_sink.h"
#include "transports/recording/captured_messages.h"

class RecordingProvider final : public AspiProvider {
 public:
  // Records to `out`, which must outlive the provider. `inner` is not owned.
  // Messages about the recording itself (a write that failed) are told to
  // `messages`.
  RecordingProvider(AspiProvider& inner, std::ostream& out, DiagnosticSink messages = {});

  // Creates (or truncates) the file at `path`; null with `error` set when it
  // cannot be opened for writing.
  static std::unique_ptr<RecordingProvider> Create(AspiProvider& inner, const std::string& path,
                                                   std::string& error,
                                                   DiagnosticSink messages = {});

  aspi::DWORD GetSupportInfo() override;
  aspi::DWORD SendCommand(void* request) override;
  // The name of the provider underneath: the recording changes nothing.
  const char* Name() const override;
  // The device names of the provider underneath; the header keeps them, so
  // that a replay knows them too.
  std::vector<std::string> DeviceNames(aspi::BYTE adapter, aspi::BYTE target) const override;
  bool FindDevice(std::string_view name, aspi::BYTE& adapter, aspi::BYTE& target) const override;
  KnownDevice KnownIdentity(aspi::BYTE adapter, aspi::BYTE target) const override;

  // The transport's own lines for the user: those written while a request
  // ran are kept with its record ("messages"). Not owned; may be null.
  void AttachMessages(CapturedMessages* messages) { transportMessages_ = messages; }
  // What the transport said when it looked for devices (lines), kept in the
  // header so that a replay says it too.
  void SetDiagnostics(const std::string& text) { diagnostics_ = text; }

 private:
  void Write(const std::string& line);
  void AddMessages(nlohmann::ordered_json& record);

  AspiProvider& inner_;
  std::unique_ptr<std::ostream> file_;  // the file Create opened
  std::ostream& out_;
  DiagnosticSink messages_;
  // False once a line could not be written (told once); the commands still
  // go through.
  bool good_ = true;
  bool headerWritten_ = false;
  // The last exec request still pending when it was recorded, so that an
  // abort can record how it finally ended.
  void* pending_ = nullptr;
  CapturedMessages* transportMessages_ = nullptr;
  std::string diagnostics_;
  aspi::DWORD adapters_ = 0;  // as GetSupportInfo last answered
};
