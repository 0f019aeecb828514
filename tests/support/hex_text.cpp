#include "tests/support/hex_text.h"

#include <algorithm>
#include <cstdio>

std::string RecordWithChecksum(std::uint16_t address, std::uint8_t type,
                               const std::vector<std::uint8_t>& data, std::uint8_t checksum) {
  char text[16];
  std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size() & 0xFF),
                static_cast<unsigned>(address), static_cast<unsigned>(type));
  std::string record = text;
  for (std::uint8_t byte : data) {
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(byte));
    record += text;
  }
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(checksum));
  return record + text;
}

std::string Record(std::uint16_t address, std::uint8_t type,
                   const std::vector<std::uint8_t>& data) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  for (std::uint8_t byte : data) sum += byte;
  return RecordWithChecksum(address, type, data, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
}

std::string HexFile(std::uint16_t address, const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
    const std::size_t count = std::min<std::size_t>(16, bytes.size() - offset);
    const auto at = static_cast<std::uint16_t>(address + offset);
    text += Record(at, 0x00, {bytes.begin() + offset, bytes.begin() + offset + count}) + "\n";
  }
  return text + kEofRecord + "\n";
}

std::string FirmwareLikeHexFile() {
  std::vector<std::uint8_t> bytes(4096);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  const std::string data = HexFile(0, bytes);
  return data.substr(0, data.rfind(':')) + Record(0xFEF0, 0, {'1', '.', '1', '0'}) + "\n" +
         kEofRecord + "\n";
}
