#include "image/hex_rules.h"

#include <cstdio>

#include "image/hex_loader.h"

namespace hex_rules {

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

namespace {

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

}  // namespace

std::string WhyDamaged(const std::uint8_t* decoded, std::size_t count, std::uint8_t sum,
                       bool loneDigit) {
  if (count > kDecodeBufferSize)
    return "the record has more than " + std::to_string(kDecodeBufferSize) +
           " digit pairs (at most " + std::to_string(kMaxRecordData) + " data bytes)";
  if (loneDigit && (count < 5 || count != decoded[0] + 5u || sum != 0)) return kWhyLoneDigit;
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
    case 0x04: {
      if (decoded[0] != 2) break;
      // A segment base counts in 16-byte paragraphs, a linear base in 64 KiB.
      const unsigned base = decoded[4] * 256u + decoded[5];
      char what[128];
      std::snprintf(what, sizeof what,
                    "record type %s sets a %s base of 0x%04X (address 0x%X) for the data that "
                    "follows; only a base of 0 is accepted",
                    Hex2(decoded[3]).c_str(), decoded[3] == 0x02 ? "segment" : "linear", base,
                    decoded[3] == 0x02 ? base << 4 : base << 16);
      return what;
    }
    case 0x03:
    case 0x05:
      return "record type " + Hex2(decoded[3]) + " must carry 4 data bytes, not " +
             std::to_string(decoded[0]);
    default:
      return "record type " + Hex2(decoded[3]) + " is not one of the Intel HEX types 0x00 to 0x05";
  }
  return "record type " + Hex2(decoded[3]) + " must carry 2 data bytes, not " +
         std::to_string(decoded[0]);
}

}  // namespace hex_rules

std::string FewDataBytesWarning(const std::string& file, std::size_t dataBytes) {
  if (dataBytes == 0 || dataBytes >= kFewDataBytes) return "";
  return file + " sets only " + std::to_string(dataBytes) + " of the " +
         std::to_string(kLoadableLimit) + " bytes of an image (fewer than 1/16 of them): it " +
         "may be a fragment, not a whole firmware image, and every byte it leaves out is sent "
         "as 0xFF";
}
