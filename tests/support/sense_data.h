// Sense data as drives return it, for the tests' scripted answers.
#pragma once

#include <cstdint>
#include <vector>

// Fixed-format sense data, 18 bytes: response code 0x70, the sense key, the
// additional length (10) and the additional sense code and qualifier.
inline std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::vector<std::uint8_t> sense(18, 0);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = 10;
  sense[12] = asc;
  sense[13] = ascq;
  return sense;
}
