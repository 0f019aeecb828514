#include "program/json_line.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at the start of `bytes`, or 0 when
// its first byte starts none (an overlong form, a surrogate, a code point
// beyond U+10FFFF, a sequence cut short or a stray continuation byte).
std::size_t Utf8SequenceLength(std::string_view bytes) {
  const auto at = [&bytes](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80;  // the range of the second byte
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  return length;
}

template <typename Json>
void Write(const Json& value, std::string& out) {
  if (value.is_string()) {
    out += JsonString(value.template get_ref<const std::string&>());
  } else if (value.is_object()) {
    out += '{';
    bool first = true;
    for (auto item = value.begin(); item != value.end(); ++item, first = false) {
      if (!first) out += ',';
      out += JsonString(item.key()) + ':';
      Write(item.value(), out);
    }
    out += '}';
  } else if (value.is_array()) {
    out += '[';
    bool first = true;
    for (const auto& element : value) {
      if (!first) out += ',';
      first = false;
      Write(element, out);
    }
    out += ']';
  } else {
    out += value.dump();  // numbers, true, false, null
  }
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  while (!bytes.empty()) {
    const auto byte = static_cast<std::uint8_t>(bytes.front());
    const std::size_t length = Utf8SequenceLength(bytes);
    char escape[8] = {};
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\udc%02x", static_cast<unsigned>(byte));
    } else if (byte == '"' || byte == '\\') {
      escape[0] = '\\';
      escape[1] = static_cast<char>(byte);
    } else if (byte < 0x20) {
      const char* named = byte == '\b'   ? "\\b"
                          : byte == '\f' ? "\\f"
                          : byte == '\n' ? "\\n"
                          : byte == '\r' ? "\\r"
                          : byte == '\t' ? "\\t"
                                         : nullptr;
      if (named != nullptr) {
        std::snprintf(escape, sizeof escape, "%s", named);
      } else {
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
      }
    }
    if (escape[0] != '\0') {
      out += escape;
    } else {
      out.append(bytes.substr(0, length));
    }
    bytes.remove_prefix(length == 0 ? 1 : length);
  }
  return out + '"';
}

std::string JsonLine(const nlohmann::json& value) {
  std::string out;
  Write(value, out);
  return out;
}

std::string JsonLine(const nlohmann::ordered_json& value) {
  std::string out;
  Write(value, out);
  return out;
}
