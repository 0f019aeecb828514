// Intel HEX text written by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One Intel HEX record ":LLAAAATT<data>CC" with a correct checksum (upper case, no line end).
std::string Record(std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data);
// The same record with its checksum byte replaced.
std::string RecordWithChecksum(std::uint16_t address, std::uint8_t type,
                               const std::vector<std::uint8_t>& data, std::uint8_t checksum);
inline const std::string kEofRecord = ":00000001FF";

// A whole file: `bytes` at `address` in data records of at most 16 bytes, one
// a line, followed by the end-of-file record.
std::string HexFile(std::uint16_t address, const std::vector<std::uint8_t>& bytes);

// A whole file that sets the first 4096 bytes (each its address's low byte)
// and the revision "1.10" at 0xFEF0: enough bytes to pass for firmware
// without the warning about an image that sets only a few.
std::string FirmwareLikeHexFile();
