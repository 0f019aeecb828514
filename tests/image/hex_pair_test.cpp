// Digit-pair decoding: every character yields a value, bytes 0x80-0xFF count as
// negative, and a low digit above 15 spills into the high half.
#include <gtest/gtest.h>

#include <ostream>

#include "image/hex_loader.h"

namespace {

struct PairCase {
  char high;
  char low;
  std::uint8_t expected;
};

void PrintTo(const PairCase& c, std::ostream* os) {
  *os << "pair 0x" << std::hex << (c.high & 0xFF) << " 0x" << (c.low & 0xFF);
}

class HexPairToByteTest : public ::testing::TestWithParam<PairCase> {};

TEST_P(HexPairToByteTest, DecodesByTheDigitRules) {
  const PairCase& c = GetParam();
  EXPECT_EQ(HexPairToByte(c.high, c.low), c.expected);
}

INSTANTIATE_TEST_SUITE_P(OrdinaryDigits, HexPairToByteTest,
                         ::testing::Values(PairCase{'0', '0', 0x00}, PairCase{'9', 'F', 0x9F},
                                           PairCase{'a', 'b', 0xAB}, PairCase{'A', 'b', 0xAB},
                                           PairCase{'f', 'F', 0xFF}, PairCase{'7', 'e', 0x7E}));

// Expected values worked out by hand from the digit rules.
INSTANTIATE_TEST_SUITE_P(
    OtherCharacters, HexPairToByteTest,
    ::testing::Values(PairCase{'G', '0', 0x00},  // 'G' is 16: its high bit leaves the byte
                      PairCase{'0', 'G', 0x10},  // a low value of 16 sets a high bit
                      PairCase{'1', ':', 0x1A},  // ':' is a digit worth 10
                      PairCase{':', '0', 0xA0},
                      PairCase{'0', '@', 0x10},  // '@' (0x40) is below 'A': 0x40 - 0x30
                      PairCase{'`', '0', 0x90},  // '`' (0x60) is below 'a': 0x60 - 0x37 = 0x29
                      PairCase{'z', '0', 0x30},  // 0x7A - 0x57 = 0x23
                      PairCase{'0', 'z', 0x23},
                      PairCase{' ', '1', 0x01},  // blank: -16, shifted out
                      PairCase{'0', ' ', 0xF0}));

// Bytes 0x80-0xFF are negative as signed characters and take the c - 0x30 rule; read
// as unsigned they would take the c - 0x57 rule and give other values.
INSTANTIATE_TEST_SUITE_P(HighBytesAreNegative, HexPairToByteTest,
                         ::testing::Values(PairCase{'\x80', '0', 0x00}, PairCase{'\xFF', '0', 0xF0},
                                           PairCase{'0', '\xFF', 0xCF}, PairCase{'0', '\xC1', 0x91},
                                           PairCase{'\xE0', '\xE0', 0xB0}));

}  // namespace
