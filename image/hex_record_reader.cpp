// Intel HEX records read one by one from a stream the caller opened
// (ReadHexRecord), by the same rules as the whole-file loader.
#include <cstdio>
#include <cstring>

#include "image/hex_loader.h"
#include "image/hex_rules.h"
#include "image/result_codes.h"

namespace {

using namespace hex_rules;

bool Refuse(ResultCode code) {
  g_resultCode = code;
  return false;
}

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

}  // namespace

std::uint8_t HexPairToByte(char high, char low) {
  return DecodePair(static_cast<unsigned char>(high), static_cast<unsigned char>(low));
}

bool ReadHexRecord(std::FILE* stream, std::uint8_t* record) {
  if (stream == nullptr) return Refuse(kResultCannotOpen);
  for (;;) {
    int c;
    Word word;
    do {
      c = NextChar(stream);
      if (word.Ends(c == kEnd ? kGap : kOutside[static_cast<std::uint8_t>(c)], 0))
        return Refuse(kResultDamaged);
    } while (c != kEnd && c != ':');
    // The text ends before an end-of-file record: records may be missing.
    if (c == kEnd) return Refuse(std::ferror(stream) ? kResultCannotOpen : kResultDamaged);

    std::uint8_t decoded[kDecodeBufferSize];
    std::size_t count = 0;
    std::uint8_t sum = 0;
    for (;;) {
      const int high = NextChar(stream);
      if (high < '0') break;  // kEnd too
      const int low = NextChar(stream);
      if (low < '0') return Refuse(std::ferror(stream) ? kResultCannotOpen : kResultDamaged);
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
