// Load + checksum of a full image: every address 0x0000-0xFEFF in 16-byte records,
// about 180 KB of Intel HEX text, read from a file as the Download command reads it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image/hex_loader.h"
#include "image/image_checksum.h"

namespace {

std::string FullImageText() {
  std::string text;
  std::uint32_t state = 0x2545F491u;
  char line[64];
  for (std::uint32_t address = 0; address < kLoadableLimit; address += 16) {
    unsigned sum = 16 + (address >> 8) + (address & 0xFF);
    int used = std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(address));
    for (int i = 0; i < 16; ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const unsigned byte = state & 0xFF;
      sum += byte;
      used +=
          std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "%02X", byte);
    }
    std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), "%02X\r\n",
                  (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\r\n";
}

// The benchmark file, written once and removed at exit.
const std::string& FullImageFile() {
  static const std::string path = [] {
    const auto file = std::filesystem::temp_directory_path() / "qtr5-bench-full-image.hex";
    const std::string text = FullImageText();
    std::FILE* out = std::fopen(file.string().c_str(), "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0) {
      std::abort();
    }
    std::atexit([] {
      std::filesystem::remove(std::filesystem::temp_directory_path() / "qtr5-bench-full-image.hex");
    });
    return file.string();
  }();
  return path;
}

void BM_LoadAndChecksumFullImage(benchmark::State& state) {
  const std::string& path = FullImageFile();
  std::vector<std::uint8_t> buffer(kFirmwareImageSize + 4);
  state.SetBytesProcessed(0);
  std::int64_t bytes = 0;
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  for (auto _ : state) {
    if (!LoadHexImage(path.c_str(), buffer.data())) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(ImageChecksum(buffer.data()));
    bytes += size;
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_LoadAndChecksumFullImage)->Unit(benchmark::kMicrosecond);

void BM_ChecksumOnly(benchmark::State& state) {
  std::vector<std::uint8_t> image(kFirmwareImageSize, 0x5A);
  for (auto _ : state) {
    benchmark::DoNotOptimize(image.data());
    benchmark::DoNotOptimize(ImageChecksum(image.data()));
  }
}
BENCHMARK(BM_ChecksumOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
