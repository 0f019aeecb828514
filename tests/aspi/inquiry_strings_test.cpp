// Model and revision strings out of INQUIRY data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "aspi/aspi_device.h"
#include "tests/support/scripted_provider.h"

namespace {

struct StringsCase {
  std::string identification;  // bytes 8 to 35: vendor, product, revision
  std::string model;
  std::string revision;
  bool accepted;
};

class GetInquiryStringsTable : public testing::TestWithParam<StringsCase> {};

TEST_P(GetInquiryStringsTable, CopiesTrimsAndComparesTheSuffix) {
  ScriptedProvider provider;
  AspiDevice device;
  ASSERT_EQ(GetParam().identification.size(), 28u);
  std::memset(device.dataBuffer, 0x5A, 64);  // whatever lies around the fields
  std::memcpy(device.dataBuffer + 8, GetParam().identification.data(), 28);

  char model[32];
  char revision[32];
  std::memset(model, 'x', sizeof model);
  std::memset(revision, 'x', sizeof revision);
  EXPECT_EQ(device.GetInquiryStrings(model, revision), GetParam().accepted);
  EXPECT_EQ(std::string(model), GetParam().model);
  EXPECT_EQ(std::string(revision), GetParam().revision);
  EXPECT_EQ(model[25], 'x');  // 25 characters at most are written
  EXPECT_EQ(revision[5], 'x');
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Fields, GetInquiryStringsTable,
    testing::Values(
        StringsCase{"QTR5    CD-ROM XPM-3177K1.00", "QTR5    CD-ROM XPM-3177K", "1.00", true},
        StringsCase{"QTR5    CD-ROM XPM-3177K1.1 ", "QTR5    CD-ROM XPM-3177K", "1.1", true},
        StringsCase{"QTR5    CD-ROM XPM-3177K    ", "QTR5    CD-ROM XPM-3177K", "", true},
        StringsCase{"QTR5    CD-ROM XPM-2400B2.10", "QTR5    CD-ROM XPM-2400B", "2.10", false},
        StringsCase{"VENDOR  PRODUCT         1.0\t", "VENDOR  PRODUCT", "1.0\t", false},
        StringsCase{"                        A   ", "", "A", false},
        StringsCase{"QTR5    CD-ROM XPM-3177k1.00", "QTR5    CD-ROM XPM-3177k", "1.00", false},
        // A NUL ends the string early; the suffix is still judged on the raw bytes.
        StringsCase{"QTR5\0   CD-ROM XPM-3177K 1. "s, "QTR5", " 1.", true},
        StringsCase{"QTR5    CD-ROM XPM 3177K1.00", "QTR5    CD-ROM XPM 3177K", "1.00", true}));

TEST(GetInquiryStrings, WithoutAModelBufferOnlyTheRevisionIsReadAndTheResultIsFalse) {
  ScriptedProvider provider;
  AspiDevice device;
  std::memcpy(device.dataBuffer + 8, "QTR5    CD-ROM XPM-3177K1.10", 28);
  char revision[32] = {};
  EXPECT_FALSE(device.GetInquiryStrings(nullptr, revision));
  EXPECT_STREQ(revision, "1.10");

  char model[25];
  EXPECT_TRUE(device.GetInquiryStrings(model, nullptr));
  EXPECT_STREQ(model, "QTR5    CD-ROM XPM-3177K");
  EXPECT_FALSE(device.GetInquiryStrings(nullptr, nullptr));
}

}  // namespace
