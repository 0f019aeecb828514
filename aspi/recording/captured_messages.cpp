#include "aspi/recording/captured_messages.h"

CapturedMessages::CapturedMessages(std::ostream& out) : out_(out), stream_(this) {}

CapturedMessages::int_type CapturedMessages::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  pending_ += byte;
  out_.put(byte);
  return c;
}

std::streamsize CapturedMessages::xsputn(const char* text, std::streamsize count) {
  pending_.append(text, static_cast<std::size_t>(count));
  out_.write(text, count);
  return count;
}

int CapturedMessages::sync() {
  out_.flush();
  return 0;
}

std::vector<std::string> CapturedMessages::Take() {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < pending_.size()) {
    std::size_t end = pending_.find('\n', start);
    if (end == std::string::npos) end = pending_.size();
    lines.push_back(pending_.substr(start, end - start));
    start = end + 1;
  }
  pending_.clear();
  return lines;
}
