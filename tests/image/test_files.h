// Temporary files and HEX text for the image tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A private temporary directory, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to a file in the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

// One Intel HEX record ":LLAAAATT<data>CC" with a correct checksum (upper case, no line end).
std::string Record(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data);
// The same record with its checksum byte replaced.
std::string RecordWithChecksum(std::uint16_t address, std::uint8_t type,
                               const std::vector<std::uint8_t>& data, std::uint8_t checksum);
inline const std::string kEofRecord = ":00000001FF";
