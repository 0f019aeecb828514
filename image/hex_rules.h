// The rules of the Intel HEX reader that both of its ways of reading (record by
// record from a stream, and a whole file through a window) share: digit
// values, what text outside records may hold, what a record means, and the
// words for what is wrong. Internal to the image library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace hex_rules {

inline constexpr int kEndOfText = 0x1A;  // Ctrl-Z: the end of a text file

// Digit value of every byte, modulo 256, by HexPairToByte's rules.
inline constexpr std::array<std::uint8_t, 256> MakeDigitValues() {
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
inline constexpr std::array<std::uint8_t, 256> kDigitValues = MakeDigitValues();

// Outside records the text is read as words: runs of characters from '0'
// upward. A word of hex digits without a letter beyond F is what a record
// whose ':' was lost looks like (or a lone number): its bytes would be
// skipped as text, so it is refused. Prose ("header", "Größe") is passed over.
inline constexpr std::uint8_t kGap = 0, kHexDigit = 1, kLetter = 2, kOther = 3, kRecordMark = 4;
inline constexpr std::array<std::uint8_t, 256> MakeOutsideClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t kind = kOther;
    if (c < '0') {
      kind = kGap;
    } else if (c == ':') {
      kind = kRecordMark;
    } else if ((c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) {
      kind = kHexDigit;
    } else if ((c >= 'G' && c <= 'Z') || (c >= 'g' && c <= 'z') || c >= 0x80) {
      kind = kLetter;
    }
    classes[static_cast<std::size_t>(c)] = kind;
  }
  return classes;
}
inline constexpr std::array<std::uint8_t, 256> kOutside = MakeOutsideClasses();

// A word outside records, as far as it was read.
struct Word {
  bool open = false;
  bool digits = false;
  bool letters = false;
  std::size_t start = 0;  // offset of its first character
  // Takes the character at `offset`; true when it ends a word that is a stray
  // number (`start` then says where that word began).
  bool Ends(std::uint8_t kind, std::size_t offset) {
    if (kind == kGap || kind == kRecordMark) {
      const bool stray = digits && !letters;
      open = digits = letters = false;
      return stray;
    }
    if (!open) start = offset;
    open = true;
    digits = digits || kind == kHexDigit;
    letters = letters || kind == kLetter;
    return false;
  }
};

inline constexpr const char* kWhyStray =
    "hex digits stand outside any record (a record whose ':' was lost, or a stray number): "
    "their bytes would not be loaded";
inline constexpr const char* kWhyLoneDigit =
    "the record has an odd number of digits, and its pairs without the last digit do not make "
    "a sound record";
inline constexpr const char* kWhyNoEnd =
    "the file ends without an end-of-file record (:00000001FF): it may have been cut short";
inline constexpr const char* kWhyDataAfterEnd =
    "a data record follows the end-of-file record (two files joined?): its bytes would not be "
    "loaded";
inline constexpr const char* kWhyMarkFirst =
    "a Ctrl-Z (end-of-text mark) comes before the end-of-file record: the records behind it "
    "would not be loaded";

inline std::uint8_t DecodePair(unsigned high, unsigned low) {
  return static_cast<std::uint8_t>((kDigitValues[high] << 4) | kDigitValues[low]);
}

// What a decoded record means for the image.
enum class Verdict { kData, kEndOfFile, kPassOver, kDamaged };

// Checks the decoded bytes of one record: pair count, checksum and type. `sum` is the
// sum of all decoded bytes modulo 256; the record's checksum is right exactly when it
// is 0 (the last byte is the two's complement of the sum of the others).
Verdict Judge(const std::uint8_t* decoded, std::size_t count, std::uint8_t sum);

// A record's text may end in a lone digit, one left over after its last pair: the
// digit is dropped and the pairs are judged alone. When they make no sound record,
// the lone digit is named as what is wrong.
// Why Judge found a record damaged, in words. Only called on the way out.
std::string WhyDamaged(const std::uint8_t* decoded, std::size_t count, std::uint8_t sum,
                       bool loneDigit);

// After the first end-of-file record only text may follow: text, a Ctrl-Z,
// damaged records and records that store nothing are passed over, but a data
// record with data would be lost, so the file is damaged.
inline bool LostBehindTheEnd(Verdict verdict, const std::uint8_t* decoded) {
  return verdict == Verdict::kData && decoded[0] != 0;
}

}  // namespace hex_rules
