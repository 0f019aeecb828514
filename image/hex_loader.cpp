// LoadHexImage: a whole Intel HEX file read through a window into the image, and
// what a failed load found, in words.
#include "image/hex_loader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "image/hex_rules.h"
#include "image/regular_file.h"
#include "image/result_codes.h"
#include "image/sha256.h"

namespace {

using namespace hex_rules;

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

bool Refuse(ResultCode code) {
  g_resultCode = code;
  return false;
}

// --- The whole file through a window with look-ahead ------------------------------------

// Characters the decoding of one record may look at: 257 pairs (the one too many
// included) and the character after them.
constexpr std::size_t kRecordLookAhead = 2 * (kDecodeBufferSize + 1) + 1;
constexpr std::size_t kWindowSize = std::size_t{64} * 1024;
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

  // Moves past the next ':' (kRecordMark). Stops at the end of the text (kGap),
  // or, unless `wordsAreText`, behind a word of stray digits (kHexDigit;
  // StrayStart() says where it began). (Usually the ':' is a line end away, too
  // close for a library search to pay.)
  std::uint8_t FindRecord(bool wordsAreText) {
    Word word;
    for (;;) {
      const std::uint8_t* p = text_.get() + next_;
      const std::uint8_t* const end = text_.get() + filled_;
      for (; p != end; ++p) {
        const std::uint8_t kind = kOutside[*p];
        const std::size_t at = static_cast<std::size_t>(p - text_.get());
        if (word.Ends(kind, dropped_ + at) && !wordsAreText) {
          strayStart_ = word.start;
          return kHexDigit;
        }
        if (kind == kRecordMark) {
          next_ = at + 1;
          recordStart_ = dropped_ + at;
          return kRecordMark;
        }
      }
      next_ = filled_;
      if (!Fill(1)) {
        strayStart_ = word.start;
        return word.Ends(kGap, 0) && !wordsAreText ? kHexDigit : kGap;
      }
    }
  }
  std::size_t StrayStart() const { return strayStart_; }
  // Whether the text ended at a Ctrl-Z, and the offset of that Ctrl-Z.
  bool EndedAtMark() const { return endedAtMark_; }
  std::size_t MarkAt() const { return markAt_; }
  // Whether the record DecodeRecord decoded last had a digit left over (dropped).
  bool LoneDigit() const { return loneDigit_; }

  // Decodes the pairs after the ':' into `decoded`; returns their number, or
  // kDecodeBufferSize + 1 when the line has more pairs than fit (the text is
  // then read on behind the pair that did not fit, as ReadHexRecord does).
  // `sum` receives the sum of the decoded bytes modulo 256.
  std::size_t DecodeRecord(std::uint8_t* decoded, std::uint8_t& sum) {
    Fill(kRecordLookAhead);
    loneDigit_ = false;
    const std::uint8_t* p = text_.get() + next_;
    const std::uint8_t* const end = text_.get() + filled_;
    std::size_t count = 0;
    unsigned total = 0;
    for (;;) {
      // Four pairs at a time while the next eight characters are all digits; the 0
      // behind the text stops this before anything past it is used.
      if (count + 4 <= kDecodeBufferSize && EightDigits(p)) {
        for (std::size_t i = 0; i < 4; ++i) {
          const std::uint8_t byte = DecodePair(p[2 * i], p[2 * i + 1]);
          decoded[count + i] = byte;
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
      if (p[1] < '0') {  // a digit without its pair
        p += p + 1 < end ? 2 : 1;
        loneDigit_ = true;
        break;
      }
      if (count == kDecodeBufferSize) {
        next_ = static_cast<std::size_t>(p + 2 - text_.get());
        return kDecodeBufferSize + 1;
      }
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
          endedAtMark_ = true;
          markAt_ = dropped_ + filled_;
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
  std::size_t strayStart_ = 0;
  std::size_t markAt_ = 0;
  int readError_ = 0;
  bool endedAtMark_ = false;
  bool loneDigit_ = false;
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
  // Binary mode on purpose: TextWindow gives text-mode semantics itself (line ends are
  // all below '0' and need no translation, Ctrl-Z ends the text), the same everywhere.
  int openError = 0;
  std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFile(path, false, openError));
  if (!file) {
    return fail(
        kResultCannotOpen, 0,
        openError != 0 ? SystemSays(openError) : "not a regular file (only files are read)");
  }
  TextWindow text(file.get(), fileSha256 != nullptr ? &hash : nullptr);
  // Which image bytes a data record set: a byte set twice counts once.
  const std::unique_ptr<std::uint8_t[]> set(new std::uint8_t[kLoadableLimit]());
  // A loaded image: the digest of the file it came from, read to its end.
  auto loaded = [&] {
    dataBytes = static_cast<std::size_t>(std::count(set.get(), set.get() + kLoadableLimit, 1));
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
  auto lineOf = [&](std::size_t at) { return problem != nullptr ? LineAt(file.get(), at) : 0u; };
  auto line = [&] { return lineOf(text.RecordStart()); };
  std::uint8_t found = kGap;
  // Behind the first end-of-file record the text is only read on as far as
  // it takes to know that no data record would be lost there.
  bool ended = false;
  while ((found = text.FindRecord(ended)) == kRecordMark) {
    std::uint8_t sum = 0;
    const std::size_t count = text.DecodeRecord(decoded, sum);
    if (text.Failed()) return fail(kResultCannotOpen, 0, SystemSays(text.ReadError()));
    const Verdict verdict =
        count > kDecodeBufferSize ? Verdict::kDamaged : Judge(decoded, count, sum);
    if (ended) {
      if (LostBehindTheEnd(verdict, decoded)) return fail(kResultDamaged, line(), kWhyDataAfterEnd);
      continue;
    }
    switch (verdict) {
      case Verdict::kData:
        break;
      case Verdict::kEndOfFile:
        ended = true;
        continue;
      case Verdict::kPassOver:
        continue;
      case Verdict::kDamaged:
        return fail(kResultDamaged, line(), WhyDamaged(decoded, count, sum, text.LoneDigit()));
    }
    const std::uint32_t address = decoded[1] * 256u + decoded[2];
    const std::uint32_t length = decoded[0];
    if (length != 0 && address + length > kLoadableLimit) {
      // Store what lies below the limit, then fail at the first byte beyond it.
      if (address < kLoadableLimit)
        std::memcpy(image + address, decoded + 4, kLoadableLimit - address);
      char what[128];
      std::snprintf(what, sizeof what,
                    "its %u data byte(s) at 0x%04X reach 0x%04X; only 0x0000 to 0xFEFF can be "
                    "loaded",
                    static_cast<unsigned>(length), static_cast<unsigned>(address),
                    static_cast<unsigned>(address + length - 1));
      return fail(kResultAddressOverflow, line(), what);
    }
    CopyData(image + address, decoded + 4, length);
    std::memset(set.get() + address, 1, length);
  }
  if (text.Failed()) return fail(kResultCannotOpen, 0, SystemSays(text.ReadError()));
  if (ended) return loaded();
  // Only the end-of-file record ends a load well: text that ends before it
  // may have lost records (a cut copy, a Ctrl-Z between records).
  if (found == kHexDigit) return fail(kResultDamaged, lineOf(text.StrayStart()), kWhyStray);
  if (text.EndedAtMark()) return fail(kResultDamaged, lineOf(text.MarkAt()), kWhyMarkFirst);
  return fail(kResultDamaged, 0, kWhyNoEnd);
}

std::string DescribeHexLoadProblem(const std::string& file, const HexLoadProblem& problem) {
  std::string text = file;
  if (problem.line != 0) text += ", line " + std::to_string(problem.line);
  return text + ": " + problem.what;
}
