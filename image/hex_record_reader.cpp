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
  // Behind the first end-of-file record the text is read on to its end, to
  // know that no data record would be lost there.
  bool ended = false;
  for (;;) {
    int c;
    Word word;
    do {
      c = NextChar(stream);
      if (word.Ends(c == kEnd ? kGap : kOutside[static_cast<std::uint8_t>(c)], 0) && !ended)
        return Refuse(kResultDamaged);
    } while (c != kEnd && c != ':');
    if (c == kEnd) {
      if (std::ferror(stream)) return Refuse(kResultCannotOpen);
      // The text ends before an end-of-file record: records may be missing.
      return Refuse(ended ? kResultNoError : kResultDamaged);
    }

    std::uint8_t decoded[kDecodeBufferSize];
    std::size_t count = 0;
    std::uint8_t sum = 0;
    bool tooLong = false;
    for (;;) {
      const int high = NextChar(stream);
      if (high < '0') break;  // kEnd too
      const int low = NextChar(stream);
      if (low < '0') break;  // a lone digit left over: dropped
      if (count == kDecodeBufferSize) {
        tooLong = true;
        break;
      }
      decoded[count] = DecodePair(static_cast<unsigned>(high), static_cast<unsigned>(low));
      sum = static_cast<std::uint8_t>(sum + decoded[count++]);
    }
    if (std::ferror(stream)) return Refuse(kResultCannotOpen);

    const Verdict verdict = tooLong ? Verdict::kDamaged : Judge(decoded, count, sum);
    if (ended) {
      if (LostBehindTheEnd(verdict, decoded)) return Refuse(kResultDamaged);
      continue;
    }
    switch (verdict) {
      case Verdict::kData:
        record[0] = decoded[1];
        record[1] = decoded[2];
        record[2] = decoded[0];
        std::memcpy(record + 3, decoded + 4, decoded[0]);
        return true;
      case Verdict::kEndOfFile:
        ended = true;
        continue;
      case Verdict::kPassOver:
        continue;
      case Verdict::kDamaged:
        return Refuse(kResultDamaged);
    }
  }
}
