// Writes the project's sample firmware image as Intel HEX: deterministic, so the
// checked-in samples/QTR5_ORNA.HEX can be regenerated and compared byte for byte.
//
// The layout imitates a small drive controller firmware: a vector table, two code
// areas, a table area with the drive's texts, a data area, unused gaps (never emitted,
// so they stay 0xFF in the image) and the revision "1.10" at 0xFEF0.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kImageEnd = 0xFF00;  // first address the drive cannot take
constexpr std::uint32_t kRevisionAddress = 0xFEF0;

// A small fixed-seed generator (xorshift32): the same bytes on every platform.
class Random {
 public:
  std::uint8_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::uint8_t>(state_ >> 11);
  }

 private:
  std::uint32_t state_ = 0x51E7A5u;
};

struct Area {
  std::uint32_t begin;
  std::uint32_t end;  // one past the last address
};

void PutText(std::vector<int>& image, std::uint32_t address, const char* text) {
  for (std::size_t i = 0; text[i] != '\0'; ++i)
    image[address + i] = static_cast<std::uint8_t>(text[i]);
  image[address + std::strlen(text)] = 0x00;
}

// Code-like bytes: mostly short instruction patterns, with occasional long jumps and
// zero padding, so the image does not look like noise everywhere.
void FillCode(std::vector<int>& image, Area area, Random& random) {
  static constexpr std::array<std::uint8_t, 12> kCommon = {0x74, 0xE5, 0xF5, 0x90, 0xE0, 0xF0,
                                                           0x12, 0x22, 0x80, 0x60, 0x70, 0xA3};
  std::uint32_t a = area.begin;
  while (a < area.end) {
    const std::uint8_t pick = random.Next();
    if (pick < 160) {
      image[a++] = kCommon[pick % kCommon.size()];
    } else if (pick < 200 && a + 3 <= area.end) {
      image[a++] = 0x02;  // long jump into the same area
      const std::uint32_t target =
          area.begin + (random.Next() * 256u + random.Next()) % (area.end - area.begin);
      image[a++] = static_cast<int>(target >> 8);
      image[a++] = static_cast<int>(target & 0xFF);
    } else if (pick < 206) {
      for (int n = 0; n < 8 && a < area.end; ++n) image[a++] = 0x00;
    } else {
      image[a++] = random.Next();
    }
  }
}

std::vector<int> SampleImage() {
  std::vector<int> image(0x10000, -1);  // -1: no data, nothing emitted
  Random random;

  // Vector table: reset and five interrupt vectors, each a long jump.
  for (std::uint32_t a = 0x0000; a < 0x0100; ++a) image[a] = 0xFF;
  const std::uint32_t vectors[] = {0x0000, 0x0003, 0x000B, 0x0013, 0x001B, 0x0023};
  for (std::size_t i = 0; i < std::size(vectors); ++i) {
    const std::uint32_t target = 0x0100 + static_cast<std::uint32_t>(i) * 0x40;
    image[vectors[i]] = 0x02;
    image[vectors[i] + 1] = static_cast<int>(target >> 8);
    image[vectors[i] + 2] = static_cast<int>(target & 0xFF);
  }
  FillCode(image, {0x0100, 0x7800}, random);  // 0x7800-0x7FFF unused
  FillCode(image, {0x8000, 0xC000}, random);

  // Table area: the drive's texts and a few lookup tables.
  for (std::uint32_t a = 0xC000; a < 0xC800; ++a) image[a] = 0x00;
  PutText(image, 0xC000, "XPM-3177K");
  PutText(image, 0xC010, "QTR5 ATAPI CD-ROM");
  PutText(image, 0xC030, "Firmware sample image, not for a real drive");
  for (std::uint32_t i = 0; i < 256; ++i) image[0xC100 + i] = static_cast<int>((i * 7 + 3) & 0xFF);
  for (std::uint32_t i = 0; i < 256; ++i) image[0xC200 + i] = static_cast<int>(i ^ 0x5A);
  for (std::uint32_t a = 0xC300; a < 0xC800; ++a) image[a] = random.Next();  // 0xC800-0xCFFF unused

  for (std::uint32_t a = 0xD000; a < 0xF000; ++a) image[a] = random.Next() & 0x7F;
  FillCode(image, {0xF000, kRevisionAddress}, random);

  // Revision and build date; the drive reports the revision after a download.
  const char tail[16] = {'1', '.', '1', '0', ' ', '2', '0', '2',
                         '6', '-', '1', '2', '-', '0', '7', 0};
  for (std::uint32_t i = 0; i < 16; ++i)
    image[kRevisionAddress + i] = static_cast<std::uint8_t>(tail[i]);
  return image;
}

std::vector<int> FullImage() {
  std::vector<int> image(0x10000, -1);
  Random random;
  for (std::uint32_t a = 0; a < kImageEnd; ++a) image[a] = random.Next();
  return image;
}

// One data record per 16 aligned bytes that hold data.
bool WriteHex(const std::vector<int>& image, std::FILE* file) {
  for (std::uint32_t base = 0; base < kImageEnd; base += 16) {
    bool any = false;
    for (std::uint32_t i = 0; i < 16; ++i) any = any || image[base + i] >= 0;
    if (!any) continue;
    unsigned sum = 16 + (base >> 8) + (base & 0xFF);
    std::fprintf(file, ":10%04X00", static_cast<unsigned>(base));
    for (std::uint32_t i = 0; i < 16; ++i) {
      const int byte = image[base + i] >= 0 ? image[base + i] : 0xFF;
      sum += static_cast<unsigned>(byte);
      std::fprintf(file, "%02X", static_cast<unsigned>(byte));
    }
    std::fprintf(file, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
  }
  std::fputs(":00000001FF\r\n", file);
  return std::fflush(file) == 0 && !std::ferror(file);
}

}  // namespace

int main(int argc, char** argv) {
  bool full = false;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--full") == 0) {
      full = true;
    } else if (output == nullptr && argv[i][0] != '-') {
      output = argv[i];
    } else {
      output = nullptr;
      break;
    }
  }
  if (output == nullptr) {
    std::fprintf(stderr, "usage: make-sample-image [--full] OUTPUT\n");
    return 2;
  }
  std::FILE* file = std::fopen(output, "wb");
  if (file == nullptr) {
    std::perror(output);
    return 1;
  }
  const bool ok = WriteHex(full ? FullImage() : SampleImage(), file);
  if (std::fclose(file) != 0 || !ok) {
    std::fprintf(stderr, "make-sample-image: cannot write %s\n", output);
    std::remove(output);
    return 1;
  }
  return 0;
}
