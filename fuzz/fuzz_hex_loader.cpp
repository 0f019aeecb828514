// Fuzzes the Intel HEX loader. Each input is loaded as a file into a buffer laid out as
// the drive's data buffer (the image, then 4 bytes that must never change), and read
// again record by record through a memory stream; both ways must agree exactly.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/hex_loader.h"
#include "image/image_checksum.h"
#include "image/result_codes.h"

namespace {

constexpr std::uint8_t kCanary = 0xC3;
constexpr std::size_t kBufferSize = kFirmwareImageSize + 4;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz-hex-loader: %s\n", what);
    std::abort();
  }
}

const std::string& InputPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz-hex-loader-" +
           std::to_string(getpid()) + ".hex";
  }();
  return path;
}

// Builds the image the way LoadHexImage describes, from ReadHexRecord alone.
bool LoadByRecords(const std::uint8_t* data, std::size_t size, std::uint8_t* image) {
  std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (stream == nullptr) return false;
  std::memset(image, 0xFF, kFirmwareImageSize);
  std::uint8_t record[kHexRecordSize + 4];
  std::memset(record + kHexRecordSize, kCanary, 4);
  bool loaded = true;
  while (ReadHexRecord(stream, record)) {
    Require(std::memcmp(record + kHexRecordSize, "\xC3\xC3\xC3\xC3", 4) == 0,
            "ReadHexRecord wrote past the record storage");
    const std::uint32_t address = record[0] * 256u + record[1];
    for (std::uint32_t k = 0; k < record[2]; ++k) {
      if (address + k >= kLoadableLimit) {
        g_resultCode = 16;
        loaded = false;
        break;
      }
      image[address + k] = record[3 + k];
    }
    if (!loaded) break;
  }
  std::fclose(stream);
  return loaded && g_resultCode == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::uint8_t buffer[kBufferSize];
  static std::uint8_t reference[kBufferSize];

  std::FILE* file = std::fopen(InputPath().c_str(), "wb");
  Require(file != nullptr, "cannot create the input file");
  Require(size == 0 || std::fwrite(data, 1, size, file) == size, "cannot write the input file");
  Require(std::fclose(file) == 0, "cannot write the input file");

  std::memset(buffer, 0x00, kFirmwareImageSize);
  std::memset(buffer + kFirmwareImageSize, kCanary, 4);
  const bool loaded = LoadHexImage(InputPath().c_str(), buffer);
  const ResultCode code = g_resultCode;
  for (std::size_t i = kFirmwareImageSize; i < kBufferSize; ++i) {
    Require(buffer[i] == kCanary, "LoadHexImage wrote behind the image");
  }
  Require(code == 0 || code == 15 || code == 16, "unexpected result code");
  Require(loaded == (code == 0), "result and code disagree");
  if (loaded) {
    for (std::size_t a = kLoadableLimit; a < kFirmwareImageSize; ++a) {
      Require(buffer[a] == 0xFF, "a byte at 0xFF00 or above was loaded");
    }
    (void)ImageChecksum(buffer);
  }

  if (size > 0) {  // fmemopen refuses an empty buffer
    g_resultCode = 3;
    const bool byRecords = LoadByRecords(data, size, reference);
    Require(byRecords == loaded && g_resultCode == code, "record-by-record load disagrees");
    Require(std::memcmp(buffer, reference, kFirmwareImageSize) == 0,
            "record-by-record image differs");
  }
  return 0;
}
