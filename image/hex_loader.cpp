#include "image/hex_loader.h"

#include <array>
#include <cstring>
#include <memory>

#include "image/result_codes.h"

namespace {

constexpr int kEnd = -1;          // no further character
constexpr int kEndOfText = 0x1A;  // Ctrl-Z: the end of a text file
constexpr std::size_t kChunkSize = 64 * 1024;

// Digit value of every byte, modulo 256, by HexPairToByte's rules.
constexpr std::array<std::uint8_t, 256> MakeDigitValues() {
  std::array<std::uint8_t, 256> values{};
  for (int byte = 0; byte < 256; ++byte) {
    const int c = byte < 0x80 ? byte : byte - 256;  // as a signed 8-bit value
    int value = c - 0x30;
    if (c >= 0x61) {
      value = c - 0x57;
    } else if (c >= 0x41) {
      value = c - 0x37;
    }
    values[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(value & 0xFF);
  }
  return values;
}
constexpr std::array<std::uint8_t, 256> kDigitValues = MakeDigitValues();

inline std::uint8_t DecodePair(int high, int low) {
  return static_cast<std::uint8_t>((kDigitValues[static_cast<std::size_t>(high)] << 4) |
                                   kDigitValues[static_cast<std::size_t>(low)]);
}

// Characters of a stream the caller opened, one getc at a time. A Ctrl-Z is pushed
// back so that it keeps ending the text on the next call too.
class StreamSource {
 public:
  explicit StreamSource(std::FILE* stream) : stream_(stream) {}
  int Get() {
    const int c = std::getc(stream_);
    if (c == EOF) return kEnd;
    if (c == kEndOfText) {
      std::ungetc(c, stream_);
      return kEnd;
    }
    return c;
  }
  bool Failed() const { return std::ferror(stream_) != 0; }

 private:
  std::FILE* stream_;
};

// Characters of a file read in large blocks: the same characters StreamSource would
// give, without a library call per character.
class BlockSource {
 public:
  explicit BlockSource(std::FILE* file) : file_(file), block_(new std::uint8_t[kChunkSize]) {}
  // Reads the first block; false when the file cannot be read at all.
  bool Start() {
    Refill();
    return !failed_;
  }
  int Get() {
    if (next_ == filled_ && !Refill()) return kEnd;
    const int c = block_[next_++];
    if (c == kEndOfText) {
      ended_ = true;
      next_ = filled_ = 0;
      return kEnd;
    }
    return c;
  }
  bool Failed() const { return failed_; }

 private:
  bool Refill() {
    next_ = filled_ = 0;
    if (ended_) return false;
    filled_ = std::fread(block_.get(), 1, kChunkSize, file_);
    if (filled_ == 0) {
      ended_ = true;
      failed_ = std::ferror(file_) != 0;
    }
    return filled_ != 0;
  }

  std::FILE* file_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

bool Refuse(ResultCode code) {
  g_resultCode = code;
  return false;
}

// Reads records until a data record (true) or the end of the records (false, with
// g_resultCode set). Records that carry no data for a 16-bit image are passed over.
template <class Source>
bool ReadRecordFrom(Source& source, std::uint8_t* record) {
  for (;;) {
    int c;
    do {
      c = source.Get();
    } while (c != kEnd && c != ':');
    if (c == kEnd) return Refuse(source.Failed() ? kResultCannotOpen : kResultNoError);

    std::uint8_t decoded[kDecodeBufferSize];
    std::size_t count = 0;
    for (;;) {
      const int high = source.Get();
      if (high < '0') break;  // also kEnd
      const int low = source.Get();
      if (low < '0') break;  // the unfinished pair is dropped
      if (count == kDecodeBufferSize) return Refuse(kResultDamaged);
      decoded[count++] = DecodePair(high, low);
    }
    if (source.Failed()) return Refuse(kResultCannotOpen);

    if (count < 5 || count != decoded[0] + 5u) return Refuse(kResultDamaged);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) sum = static_cast<std::uint8_t>(sum + decoded[i]);
    if (static_cast<std::uint8_t>(-sum) != decoded[count - 1]) return Refuse(kResultDamaged);

    const std::uint8_t length = decoded[0];
    switch (decoded[3]) {
      case 0x00:  // data
        record[0] = decoded[1];
        record[1] = decoded[2];
        record[2] = length;
        std::memcpy(record + 3, decoded + 4, length);
        return true;
      case 0x01:  // end of file
        return Refuse(kResultNoError);
      case 0x02:  // extended segment address
      case 0x04:  // extended linear address
        if (length != 2 || decoded[4] != 0 || decoded[5] != 0) return Refuse(kResultDamaged);
        continue;
      case 0x03:  // start segment address
      case 0x05:  // start linear address
        if (length != 4) return Refuse(kResultDamaged);
        continue;
      default:
        return Refuse(kResultDamaged);
    }
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::uint8_t HexPairToByte(char high, char low) {
  return DecodePair(static_cast<unsigned char>(high), static_cast<unsigned char>(low));
}

bool ReadHexRecord(std::FILE* stream, std::uint8_t* record) {
  if (stream == nullptr) return Refuse(kResultCannotOpen);
  StreamSource source(stream);
  return ReadRecordFrom(source, record);
}

bool LoadHexImage(const char* path, std::uint8_t* image) {
  if (path == nullptr) return Refuse(kResultCannotOpen);
  // Binary mode on purpose: BlockSource gives text-mode semantics itself (line ends
  // are all below '0', and Ctrl-Z ends the text), identically on every platform.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) return Refuse(kResultCannotOpen);
  BlockSource source(file.get());
  if (!source.Start()) return Refuse(kResultCannotOpen);  // e.g. a directory

  std::memset(image, 0xFF, kFirmwareImageSize);
  std::uint8_t record[kHexRecordSize];
  while (ReadRecordFrom(source, record)) {
    const std::uint32_t address = record[0] * 256u + record[1];
    const std::uint32_t length = record[2];
    if (length != 0 && address + length > kLoadableLimit) {
      // Store what lies below the limit, then fail at the first byte beyond it.
      if (address < kLoadableLimit)
        std::memcpy(image + address, record + 3, kLoadableLimit - address);
      return Refuse(kResultAddressOverflow);
    }
    std::memcpy(image + address, record + 3, length);
  }
  return g_resultCode == kResultNoError;
}
