// SHA-256 (FIPS 180-4): the digest of an image file as `sha256sum` prints it
// (--expect-sha256), and of the data a recorded command sent (a session file
// names the 64 KiB firmware image by its digest instead of carrying it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
 public:
  Sha256();
  void Update(const std::uint8_t* data, std::size_t length);
  std::array<std::uint8_t, 32> Finish();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingLength_ = 0;
  std::uint64_t totalLength_ = 0;
};

// The digest of `length` bytes as 64 lower-case hex digits.
std::string Sha256Hex(const std::uint8_t* data, std::size_t length);
// A digest as 64 lower-case hex digits, as `sha256sum` prints it.
std::string DigestHex(const std::array<std::uint8_t, 32>& digest);
