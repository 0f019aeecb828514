#include "image/hex_loader.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "image/result_codes.h"
#include "image/sha256.h"

namespace {

constexpr int kEndOfText = 0x1A;  // Ctrl-Z: the end of a text file

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

inline std::uint8_t DecodePair(unsigned high, unsigned low) {
  return static_cast<std::uint8_t>((kDigitValues[high] << 4) | kDigitValues[low]);
}

// Copies one record's data. Records are short (mostly 16 or 32 bytes); fixed-size
// pieces keep the compiler from a string-move instruction that costs more than the
// copy itself.
inline void CopyData(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
  for (; n >= 16; n -= 16, to += 16, from += 16) std::memcpy(to, from, 16);
  if (n >= 8) {
    std::memcpy(to, from, 8);
    n -= 8, to += 8, from += 8;
  }
  for (; n > 0; --n) *to++ = *from++;
}

bool IsRegularFile(const char* path) {
#ifdef _WIN32
  struct _stat info;
  return _stat(path, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}

bool Refuse(ResultCode code) {
  g_resultCode = code;
  return false;
}

// What a decoded record means for the image.
enum class Verdict { kData, kEndOfFile, kPassOver, kDamaged };

// Checks the decoded bytes of one record: pair count, checksum and type. `sum` is the
// sum of all decoded bytes modulo 256; the record's checksum is right exactly when it
// is 0 (the last byte is the two's complement of the sum of the others).
Verdict Judge(const std::uint8_t* decoded, std::size_t count, std::uint8_t sum) {
  if (count < 5 || count != decoded[0] + 5u || sum != 0) return Verdict::kDamaged;
  const std::uint8_t length = decoded[0];
  switch (decoded[3]) {
    case 0x00:
      return Verdict::kData;
    case 0x01:  // its address and data are ignored
      return Verdict::kEndOfFile;
    case 0x02:  // extended segment address
    case 0x04:  // extended linear address: only a base of 0 keeps addresses as written
      return length == 2 && decoded[4] == 0 && decoded[5] == 0 ? Verdict::kPassOver
                                                               : Verdict::kDamaged;
    case 0x03:  // start segment address
    case 0x05:  // start linear address: no meaning for the image
      return length == 4 ? Verdict::kPassOver : Verdict::kDamaged;
    default:
      return Verdict::kDamaged;
  }
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

// Why Judge found a record damaged, in words. Only called on the way out.
std::string WhyDamaged(const std::uint8_t* decoded, std::size_t count, std::uint8_t sum) {
  if (count > kDecodeBufferSize)
    return "the record has more than " + std::to_string(kDecodeBufferSize) +
           " digit pairs (at most " + std::to_string(kMaxRecordData) + " data bytes)";
  if (count < 5)
    return "the record has " + std::to_string(count) +
           " digit pair(s), fewer than the 5 of the shortest record";
  if (count != decoded[0] + 5u)
    return "the record has " + std::to_string(count) + " digit pairs, but its length byte " +
           Hex2(decoded[0]) + " needs " + std::to_string(decoded[0] + 5u) +
           " (a line cut short, or a blank or other character below '0' inside it)";
  if (sum != 0) {
    const unsigned needed = (decoded[count - 1] - sum) & 0xFFu;
    return "its checksum byte is " + Hex2(decoded[count - 1]) + " but the record needs " +
           Hex2(needed);
  }
  switch (decoded[3]) {
    case 0x02:
    case 0x04:
      return "record type " + Hex2(decoded[3]) +
             " moves later data to another 64 KiB base; only a base of 0 is accepted";
    case 0x03:
    case 0x05:
      return "record type " + Hex2(decoded[3]) + " must carry 4 data bytes, not " +
             std::to_string(decoded[0]);
    default:
      return "record type " + Hex2(decoded[3]) + " is not one of the Intel HEX types 0x00 to 0x05";
  }
}

// --- Record by record from a stream the caller opened ---------------------------------

constexpr int kEnd = -1;

// One character at a time; a Ctrl-Z is pushed back so it keeps ending the text.
int NextChar(std::FILE* stream) {
  const int c = std::getc(stream);
  if (c == EOF) return kEnd;
  if (c == kEndOfText) {
    std::ungetc(c, stream);
    return kEnd;
  }
  return c;
}

// --- The whole file through a window with look-ahead ------------------------------------

// Characters the decoding of one record may look at: 257 pairs (the one too many
// included) and the character after them.
constexpr std::size_t kRecordLookAhead = 2 * (kDecodeBufferSize + 1) + 1;
constexpr std::size_t kWindowSize = 64 * 1024;
// Bytes behind the window that an eight-character look may touch (kept zero).
constexpr std::size_t kWindowSlack = 8;

// True when all eight characters at `p` are digits, that is none is below '0'.
inline bool EightDigits(const std::uint8_t* p) {
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  constexpr std::uint64_t kZeros = 0x3030303030303030u;
  std::uint64_t x;
  std::memcpy(&x, p, sizeof x);
  // A byte with its top bit set is a digit; for the others, setting the top bit and
  // taking 0x30 away leaves it set exactly when the byte is at least 0x30. No byte
  // borrows from its neighbour, since each is at least 0x80 before the subtraction.
  return ((((x | kHigh) - kZeros) | x) & kHigh) == kHigh;
}

// Reads the file in large blocks and decodes records straight from memory. The text
// ends at the end of the file or at the first Ctrl-Z; a 0 byte is kept behind the last
// character, so decoding needs no bounds check per character.
class TextWindow {
 public:
  // `hash`, when not null, is given every byte read from the file, in order.
  TextWindow(std::FILE* file, Sha256* hash)
      : file_(file), hash_(hash), text_(new std::uint8_t[kWindowSize + 1 + kWindowSlack]()) {}

  // Reads what the text left unread (behind an end-of-file record or a
  // Ctrl-Z) into the hash, so that it covers the whole file; false when the
  // file cannot be read to its end.
  bool HashTheRest() {
    std::uint8_t block[4096];
    for (;;) {
      const std::size_t got = std::fread(block, 1, sizeof block, file_);
      if (got == 0) break;
      hash_->Update(block, got);
    }
    if (std::ferror(file_) == 0) return true;
    readError_ = errno;
    return false;
  }

  // Reads the first block; false when the file cannot be read at all.
  bool Start() {
    Fill(kRecordLookAhead);
    return !failed_;
  }
  bool Failed() const { return failed_; }
  // The file offset of the ':' of the record FindRecord found last.
  std::size_t RecordStart() const { return recordStart_; }
  // errno of a read that failed.
  int ReadError() const { return readError_; }

  // Moves past the next ':'; false when the text ends first. (Usually the ':' is a
  // line end away, too close for a library search to pay.)
  bool FindRecord() {
    for (;;) {
      const std::uint8_t* p = text_.get() + next_;
      const std::uint8_t* const end = text_.get() + filled_;
      while (p != end && *p != ':') ++p;
      if (p != end) {
        next_ = static_cast<std::size_t>(p - text_.get()) + 1;
        recordStart_ = dropped_ + next_ - 1;
        return true;
      }
      next_ = filled_;
      if (!Fill(1)) return false;
    }
  }

  // Decodes the pairs after the ':' into `decoded`; returns their number, or
  // kDecodeBufferSize + 1 when the line has more pairs than fit. `sum` receives the
  // sum of the decoded bytes modulo 256.
  std::size_t DecodeRecord(std::uint8_t* decoded, std::uint8_t& sum) {
    Fill(kRecordLookAhead);
    const std::uint8_t* p = text_.get() + next_;
    const std::uint8_t* const end = text_.get() + filled_;
    std::size_t count = 0;
    unsigned total = 0;
    for (;;) {
      // Four pairs at a time while the next eight characters are all digits; the 0
      // behind the text stops this before anything past it is used.
      if (count + 4 <= kDecodeBufferSize && EightDigits(p)) {
        for (int i = 0; i < 4; ++i) {
          const std::uint8_t byte = DecodePair(p[2 * i], p[2 * i + 1]);
          decoded[count + static_cast<std::size_t>(i)] = byte;
          total += byte;
        }
        count += 4;
        p += 8;
        continue;
      }
      if (p[0] < '0') {  // the text ends; the 0 behind the last character ends it too
        p += p < end ? 1 : 0;
        break;
      }
      if (p[1] < '0') {  // the unfinished pair is dropped
        p += p + 1 < end ? 2 : 1;
        break;
      }
      if (count == kDecodeBufferSize) return kDecodeBufferSize + 1;
      decoded[count] = DecodePair(p[0], p[1]);
      total += decoded[count++];
      p += 2;
    }
    next_ = static_cast<std::size_t>(p - text_.get());
    sum = static_cast<std::uint8_t>(total);
    return count;
  }

 private:
  // Makes at least `wanted` characters available past next_, unless the text ends
  // sooner; false when none is left.
  bool Fill(std::size_t wanted) {
    if (filled_ - next_ < wanted && !ended_) {
      std::memmove(text_.get(), text_.get() + next_, filled_ - next_);
      filled_ -= next_;
      dropped_ += next_;
      next_ = 0;
      while (filled_ < wanted && !ended_) {
        const std::size_t got = std::fread(text_.get() + filled_, 1, kWindowSize - filled_, file_);
        if (hash_ != nullptr) hash_->Update(text_.get() + filled_, got);
        const void* stop = std::memchr(text_.get() + filled_, kEndOfText, got);
        filled_ += got;
        if (stop != nullptr) {
          filled_ = static_cast<std::size_t>(static_cast<const std::uint8_t*>(stop) - text_.get());
          ended_ = true;
        } else if (got == 0) {
          ended_ = true;
          failed_ = std::ferror(file_) != 0;
          if (failed_) readError_ = errno;
        }
      }
      text_[filled_] = 0;
    }
    return filled_ > next_;
  }

  std::FILE* file_;
  Sha256* hash_;
  std::unique_ptr<std::uint8_t[]> text_;
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
  std::size_t dropped_ = 0;  // characters moved out of the window before text_[0]
  std::size_t recordStart_ = 0;
  int readError_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

// The line that holds file offset `offset`: one more than the line feeds
// before it. Read anew from the start of the open file; only a failed load
// needs it.
unsigned LineAt(std::FILE* file, std::size_t offset) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return 0;
  unsigned line = 1;
  char block[4096];
  while (offset > 0) {
    const std::size_t want = offset < sizeof block ? offset : sizeof block;
    const std::size_t got = std::fread(block, 1, want, file);
    if (got == 0) break;
    for (std::size_t i = 0; i < got; ++i) line += block[i] == '\n' ? 1u : 0u;
    offset -= got;
  }
  return line;
}

std::string SystemSays(int error) {
  return std::string("the system says: ") + std::strerror(error);
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
  for (;;) {
    int c;
    do {
      c = NextChar(stream);
    } while (c != kEnd && c != ':');
    if (c == kEnd) return Refuse(std::ferror(stream) ? kResultCannotOpen : kResultNoError);

    std::uint8_t decoded[kDecodeBufferSize];
    std::size_t count = 0;
    std::uint8_t sum = 0;
    for (;;) {
      const int high = NextChar(stream);
      if (high < '0') break;  // kEnd too
      const int low = NextChar(stream);
      if (low < '0') break;  // the unfinished pair is dropped
      if (count == kDecodeBufferSize) return Refuse(kResultDamaged);
      decoded[count] = DecodePair(static_cast<unsigned>(high), static_cast<unsigned>(low));
      sum = static_cast<std::uint8_t>(sum + decoded[count++]);
    }
    if (std::ferror(stream)) return Refuse(kResultCannotOpen);

    switch (Judge(decoded, count, sum)) {
      case Verdict::kData:
        record[0] = decoded[1];
        record[1] = decoded[2];
        record[2] = decoded[0];
        std::memcpy(record + 3, decoded + 4, decoded[0]);
        return true;
      case Verdict::kEndOfFile:
        return Refuse(kResultNoError);
      case Verdict::kPassOver:
        continue;
      case Verdict::kDamaged:
        return Refuse(kResultDamaged);
    }
  }
}

bool LoadHexImage(const char* path, std::uint8_t* image) {
  std::size_t dataBytes = 0;
  return LoadHexImage(path, image, dataBytes);
}

bool LoadHexImage(const char* path, std::uint8_t* image, HexLoadProblem* problem) {
  std::size_t dataBytes = 0;
  return LoadHexImage(path, image, dataBytes, problem);
}

bool LoadHexImage(const char* path, std::uint8_t* image, std::size_t& dataBytes,
                  HexLoadProblem* problem, std::string* fileSha256) {
  dataBytes = 0;
  Sha256 hash;
  if (fileSha256 != nullptr) fileSha256->clear();
  auto fail = [problem](ResultCode code, unsigned line, std::string what) {
    if (problem != nullptr) *problem = HexLoadProblem{line, std::move(what)};
    return Refuse(code);
  };
  if (path == nullptr) return fail(kResultCannotOpen, 0, "no file name");
  // Only a regular file is an image. Opening a pipe without a writer waits
  // forever, a device such as /dev/zero never ends, and a pipe whose writer
  // has gone reads as an empty file, which would load as an all-0xFF image.
  errno = 0;
  if (!IsRegularFile(path)) {
    return fail(kResultCannotOpen, 0,
                errno != 0 ? SystemSays(errno) : "not a regular file (only files are read)");
  }
  // Binary mode on purpose: TextWindow gives text-mode semantics itself (line ends are
  // all below '0' and need no translation, Ctrl-Z ends the text), the same everywhere.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) return fail(kResultCannotOpen, 0, SystemSays(errno));
  TextWindow text(file.get(), fileSha256 != nullptr ? &hash : nullptr);
  // A loaded image: the digest of the file it came from, read to its end.
  auto loaded = [&] {
    if (fileSha256 != nullptr) {
      if (!text.HashTheRest()) return fail(kResultCannotOpen, 0, SystemSays(text.ReadError()));
      *fileSha256 = DigestHex(hash.Finish());
    }
    g_resultCode = kResultNoError;
    return true;
  };
  if (!text.Start()) return fail(kResultCannotOpen, 0, SystemSays(text.ReadError()));

  std::memset(image, 0xFF, kFirmwareImageSize);
  std::uint8_t decoded[kDecodeBufferSize];
  auto line = [&] { return problem != nullptr ? LineAt(file.get(), text.RecordStart()) : 0u; };
  while (text.FindRecord()) {
    std::uint8_t sum = 0;
    const std::size_t count = text.DecodeRecord(decoded, sum);
    if (text.Failed()) return fail(kResultCannotOpen, 0, SystemSays(text.ReadError()));
    if (count > kDecodeBufferSize)
      return fail(kResultDamaged, line(), WhyDamaged(decoded, count, sum));
    switch (Judge(decoded, count, sum)) {
      case Verdict::kData:
        break;
      case Verdict::kEndOfFile:  // nothing behind it is read
        return loaded();
      case Verdict::kPassOver:
        continue;
      case Verdict::kDamaged:
        return fail(kResultDamaged, line(), WhyDamaged(decoded, count, sum));
    }
    const std::uint32_t address = decoded[1] * 256u + decoded[2];
    const std::uint32_t length = decoded[0];
    if (length != 0 && address + length > kLoadableLimit) {
      // Store what lies below the limit, then fail at the first byte beyond it.
      if (address < kLoadableLimit) {
        std::memcpy(image + address, decoded + 4, kLoadableLimit - address);
        dataBytes += kLoadableLimit - address;
      }
      char what[128];
      std::snprintf(what, sizeof what,
                    "its %u data byte(s) at 0x%04X reach 0x%04X; only 0x0000 to 0xFEFF can be "
                    "loaded",
                    static_cast<unsigned>(length), static_cast<unsigned>(address),
                    static_cast<unsigned>(address + length - 1));
      return fail(kResultAddressOverflow, line(), what);
    }
    CopyData(image + address, decoded + 4, length);
    dataBytes += length;
  }
  if (text.Failed()) return fail(kResultCannotOpen, 0, SystemSays(text.ReadError()));
  return loaded();
}

std::string DescribeHexLoadProblem(const std::string& file, const HexLoadProblem& problem) {
  std::string text = file;
  if (problem.line != 0) text += ", line " + std::to_string(problem.line);
  return text + ": " + problem.what;
}
