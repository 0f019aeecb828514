// The two ways --device names a drive: the adapter and target the scan
// shows (A:T), or the name the system gives it (sg node or H:C:T:L).
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "program/options.h"

namespace {

// Whether `text` is 1 to `maxLength` decimal digits.
bool DecimalDigits(std::string_view text, std::size_t maxLength) {
  if (text.empty() || text.size() > maxLength) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool ParseDeviceAddress(std::string_view text, std::uint8_t& adapter, std::uint8_t& target) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  auto number = [](std::string_view digits, unsigned limit, unsigned& value) {
    if (!DecimalDigits(digits, 3)) return false;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && value <= limit;
  };
  unsigned a = 0;
  unsigned t = 0;
  if (!number(text.substr(0, colon), 255, a) || !number(text.substr(colon + 1), 7, t)) return false;
  adapter = static_cast<std::uint8_t>(a);
  target = static_cast<std::uint8_t>(t);
  return true;
}

bool ParseDeviceName(std::string_view text, std::string& name) {
  auto digits = [](std::string_view part) { return DecimalDigits(part, 9); };
  std::string_view node = text;
  if (node.substr(0, 5) == "/dev/") node.remove_prefix(5);
  if (node.size() > 2 && node.substr(0, 2) == "sg" && digits(node.substr(2))) {
    name = "/dev/" + std::string(node);
    return true;
  }
  std::string_view rest = text;
  for (int part = 0; part < 4; ++part) {
    const std::size_t colon = rest.find(':');
    if ((colon == std::string_view::npos) != (part == 3)) return false;
    if (!digits(rest.substr(0, colon))) return false;
    rest = part == 3 ? std::string_view() : rest.substr(colon + 1);
  }
  name = std::string(text);
  return true;
}
