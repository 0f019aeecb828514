// The digest that names recorded data, against the published test vectors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/sha256.h"
#include "transports/recording/session_format.h"

namespace {

std::string Digest(const std::string& text) {
  return Sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(Sha256, MatchesThePublishedVectors) {
  EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Digest(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecewiseUpdatesGiveTheSameDigestAtEveryBlockBoundary) {
  std::vector<std::uint8_t> data(300);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
  for (std::size_t total : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    const std::string whole = Sha256Hex(data.data(), total);
    for (std::size_t split : {0u, 1u, 55u, 56u, 63u, 64u, 100u}) {
      if (split > total) continue;
      Sha256 hash;
      hash.Update(data.data(), split);
      hash.Update(data.data() + split, total - split);
      EXPECT_EQ(recording::HexEncode(hash.Finish().data(), 32), whole)
          << "total " << total << " split " << split;
    }
  }
}

TEST(SessionHex, RoundTripsAndRefusesWhatIsNoHex) {
  const std::uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF, 0x12};
  EXPECT_EQ(recording::HexEncode(bytes, sizeof bytes), "000fa5ff12");
  std::vector<std::uint8_t> decoded;
  ASSERT_TRUE(recording::HexDecode("000FA5ff12", decoded));
  EXPECT_EQ(decoded, std::vector<std::uint8_t>(bytes, bytes + sizeof bytes));
  ASSERT_TRUE(recording::HexDecode("", decoded));
  EXPECT_TRUE(decoded.empty());
  for (const char* bad : {"0", "0g", "12 3", "zz", "123"}) {
    EXPECT_FALSE(recording::HexDecode(bad, decoded)) << bad;
  }
}

}  // namespace
