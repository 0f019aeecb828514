// The lines a transport writes for the user during a recorded session
// ("host status 0x07", "did not end within 305 s"). They reach the user's
// stream as they come and are kept until the recorder attaches them to the
// record of the request they belong to, so that a replay can show them
// again.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

class CapturedMessages : private std::streambuf {
 public:
  // Passes everything on to `out`, which must outlive this object.
  explicit CapturedMessages(std::ostream& out);
  CapturedMessages(const CapturedMessages&) = delete;
  CapturedMessages& operator=(const CapturedMessages&) = delete;

  // The stream to give the transport.
  std::ostream& Stream() { return stream_; }

  // The lines written since the last call (a line not yet ended included),
  // without their line ends.
  std::vector<std::string> Take();

 private:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

  std::ostream& out_;
  std::ostream stream_;
  std::string pending_;
};
