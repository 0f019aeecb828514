#include "test_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = std::filesystem::temp_directory_path() /
                           ("qtr5-image-" + std::to_string(random()) + std::to_string(attempt));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
  }
  std::abort();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::string file = path_ + "/" + name;
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

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
