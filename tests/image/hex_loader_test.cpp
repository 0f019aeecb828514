// The Intel HEX loader: what it accepts, what it refuses, what it stores and what it
// never touches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "image/hex_loader.h"
#include "image/result_codes.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kCanary = 0xA5;
constexpr std::size_t kBufferSize = kFirmwareImageSize + 4;  // as the drive's data buffer

struct LoadCase {
  const char* name;
  std::string content;
  bool loads;
  ResultCode code;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> stored;  // checked image bytes
};

class HexLoaderTest : public ::testing::Test {
 protected:
  HexLoaderTest() : buffer_(kBufferSize, kCanary) {}

  bool Load(const std::string& content) {
    const bool loaded = LoadHexImage(dir_.Write("image.hex", content).c_str(), buffer_.data());
    for (std::size_t i = kFirmwareImageSize; i < kBufferSize; ++i) {
      EXPECT_EQ(buffer_[i], kCanary) << "byte behind the image changed at " << i;
    }
    return loaded;
  }
  std::size_t CountNotFF() const {
    return static_cast<std::size_t>(std::count_if(buffer_.begin(),
                                                  buffer_.begin() + kFirmwareImageSize,
                                                  [](std::uint8_t b) { return b != 0xFF; }));
  }

  TempDir dir_;
  Bytes buffer_;
};

std::string Lines(std::initializer_list<std::string> lines, const char* end = "\r\n") {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

// The lines, then the end-of-file record: a whole file.
std::string File(std::initializer_list<std::string> lines) {
  return Lines(lines) + kEofRecord + "\r\n";
}

const std::string kData = Record(0x0100, 0, {0x11, 0x22, 0x33});

std::vector<LoadCase> Cases() {
  return {
      {"EmptyFile", "", false, 15, {}},
      {"NoColonAtAll", "just some text\r\n" + File({"0123456789ABCDEF"}), false, 15, {}},
      {"OnlyEndOfFile", Lines({kEofRecord}), true, 0, {}},
      {"NoEndOfFileRecord", Lines({kData}), false, 15, {{0x100, 0x11}, {0x102, 0x33}}},
      {"ColonLost", File({kData, kData.substr(1)}), false, 15, {{0x100, 0x11}}},
      {"NumberInText", "Version 1.10\n" + File({kData}), false, 15, {}},
      {"LfBlankLinesTrailingBlanks", kData + " \t\n\n\n" + kEofRecord, true, 0, {{0x100, 0x11}}},
      {"TextAroundRecords",
       "header " + kData + "\r\n\r\n# note\n" + kEofRecord,
       true,
       0,
       {{0x101, 0x22}}},
      {"LowerCaseDigits",
       ":03abcd00abcdef1e\n:00000001ff\n",
       true,
       0,
       {{0xABCD, 0xAB}, {0xABCF, 0xEF}}},
      {"DataAfterEndOfFile", Lines({kEofRecord, ":0301000011223300", kData}), false, 15, {}},
      {"TextAfterTheEnd", Lines({kEofRecord, "1.1 :00", ":0000000000", kEofRecord}), true, 0, {}},
      {"LoneDigitAfterEndOfFile", Lines({kEofRecord + "7"}), true, 0, {}},
      {"LoneDigitBeforeText", kData + "7 trailing\r\n" + kEofRecord, true, 0, {{0x100, 0x11}}},
      {"LoneDigitAtTheEndOfData", File({kData + "7"}), true, 0, {{0x100, 0x11}}},
      {"DigitMissingInsideRecord", File({kData.substr(0, 12) + kData.substr(13)}), false, 15, {}},
      {"EndOfFileWithBadChecksum", Lines({kData, ":00000001FE"}), false, 15, {{0x100, 0x11}}},
      {"BadChecksum", Lines({RecordWithChecksum(0x100, 0, {1, 2}, 0x00)}), false, 15, {}},
      {"BlankInsideRecord", ":03010000 112233B6\r\n", false, 15, {}},
      {"TabInsideRecord", ":0301000011\t2233B6\r\n", false, 15, {}},
      {"TwoRecordsOnOneLine", kData + kData + "\r\n", false, 15, {}},
      {"ColonAlone", ":\r\n", false, 15, {}},
      {"FewerThanFivePairs", ":00000001\r\n", false, 15, {}},
      {"CountTooHigh", Lines({Record(0x100, 0, {1, 2}) + "00"}), false, 15, {}},
      // 'G1' decodes to 0x01 (G is worth 16); the checksum matches, so the byte is stored.
      {"NonHexPairWithMatchingChecksum",
       ":01020000G1FC\r\n" + kEofRecord,
       true,
       0,
       {{0x200, 0x01}}},
      {"NonHexPairWithWrongChecksum", ":01020000G0FC\r\n", false, 15, {}},
      {"LastByteAtFEFF", File({Record(0xFEF0, 0, Bytes(16, 0x5A))}), true, 0, {{0xFEFF, 0x5A}}},
      {"ByteAtFF00", Lines({Record(0xFF00, 0, {0x00})}), false, 16, {}},
      {"RunsPastFEFF",
       Lines({Record(0xFEF8, 0, Bytes(16, 0x00))}),
       false,
       16,
       {{0xFEF8, 0x00}, {0xFEFF, 0x00}}},
      {"EmptyRecordAtFFFF", File({Record(0xFFFF, 0, {}), kData}), true, 0, {{0x100, 0x11}}},
      {"LaterRecordOverwrites",
       File({kData, Record(0x101, 0, {0x99})}),
       true,
       0,
       {{0x100, 0x11}, {0x101, 0x99}, {0x102, 0x33}}},
      {"FirstFailureEndsTheLoad",
       Lines({kData, ":0100000000FE", Record(0x200, 0, {0x44})}),
       false,
       15,
       {{0x100, 0x11}, {0x200, 0xFF}}},
      {"ZeroAddressExtensionsPassedOver",
       File({":020000040000FA", ":020000020000FC", kData}),
       true,
       0,
       {{0x100, 0x11}}},
      {"LinearExtensionShiftRefused", Lines({Record(0, 4, {0x00, 0x01}), kData}), false, 15, {}},
      {"SegmentExtensionShiftRefused", Lines({Record(0, 2, {0x10, 0x00}), kData}), false, 15, {}},
      {"ExtensionWithWrongLengthRefused",
       Lines({Record(0, 4, {0, 0, 0, 0}), kData}),
       false,
       15,
       {}},
      {"StartAddressesPassedOver",
       File({Record(0, 3, {0, 0, 1, 0}), Record(0, 5, {0, 0, 1, 0}), kData}),
       true,
       0,
       {{0x100, 0x11}}},
      {"StartAddressWithWrongLengthRefused", Lines({Record(0, 5, {1, 0})}), false, 15, {}},
      {"UnknownTypeRefused", Lines({Record(0x100, 6, {0x11})}), false, 15, {{0x100, 0xFF}}},
      {"CtrlZBeforeTheEnd",
       Lines({kData}) + "\x1A" + File({Record(0x200, 0, {0x44})}),
       false,
       15,
       {{0x100, 0x11}, {0x200, 0xFF}}},
      {"CtrlZAfterTheEnd", File({kData}) + "\x1A\x1A" + kData, true, 0, {{0x100, 0x11}}},
      {"HighBytesOutsideRecordsSkipped", "\xEF\xBB\xBF" + File({kData}), true, 0, {{0x100, 0x11}}},
  };
}

TEST_F(HexLoaderTest, Cases) {
  for (const LoadCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::fill(buffer_.begin(), buffer_.end(), kCanary);
    g_resultCode = 3;  // a code no load leaves: every outcome must set its own
    EXPECT_EQ(Load(c.content), c.loads);
    EXPECT_EQ(g_resultCode, c.code);
    for (const auto& [address, byte] : c.stored) {
      EXPECT_EQ(buffer_[address], byte) << "address 0x" << std::hex << address;
    }
    if (c.code == 0) {
      EXPECT_TRUE(std::all_of(buffer_.begin() + kLoadableLimit,
                              buffer_.begin() + kFirmwareImageSize,
                              [](std::uint8_t b) { return b == 0xFF; }));
    }
    if (c.stored.empty() && c.loads) {
      EXPECT_EQ(CountNotFF(), 0u);
    }
  }
}

// A failed load names the line of the record and what is wrong with it; a file
// that cannot be read names the system's reason.
TEST_F(HexLoaderTest, AFailureSaysWhereAndWhat) {
  // Far enough down that the failing record lies behind the first read block.
  std::string manyLines;
  for (int i = 0; i < 5000; ++i) manyLines += kData + "\n";
  const struct {
    const char* name;
    std::string content;  // empty: no file at all
    unsigned line;
    const char* what;
  } cases[] = {
      {"Checksum", Lines({kData, ":00000001FE"}), 2,
       "checksum byte is 0xFE but the record needs 0xFF"},
      {"Blank", "# header\n" + Lines({":03010000 112233B6"}), 2,
       "4 digit pair(s), fewer than the 5"},
      {"ShortLine", Lines({Record(0x100, 0, {1, 2}).substr(0, 11)}), 1,
       "its length byte 0x02 needs 7"},
      {"TooLong", ":" + std::string(600, '0') + "\n", 1, "more than 256 digit pairs"},
      {"Overflow", Lines({kData, kData, Record(0xFEF8, 0, Bytes(16, 0))}), 3,
       "16 data byte(s) at 0xFEF8 reach 0xFF07"},
      {"Extension", Lines({Record(0, 4, {0x00, 0x01})}), 1, "only a base of 0"},
      {"StartAddress", Lines({Record(0, 5, {1, 0})}), 1, "must carry 4 data bytes, not 2"},
      {"UnknownType", Lines({Record(0x100, 6, {0x11})}), 1, "record type 0x06"},
      {"BehindTheFirstBlock", manyLines + ":0100000000FE\n", 5001, "checksum byte"},
      {"Missing", "", 0, "the system says: No such file or directory"},
      {"NoEnd", Lines({kData}), 0, "without an end-of-file record"},
      {"Stray", Lines({kData, "", kData.substr(1)}), 3, "outside any record"},
      {"CtrlZ", Lines({kData, kData}) + "\x1A" + File({}), 3, "Ctrl-Z"},
      {"LoneDigit", File({kData, kData.substr(0, 12) + kData.substr(13)}), 2, "odd number"},
      {"Segment", Lines({Record(0, 2, {0x10, 0})}), 1, "segment base of 0x1000 (address 0x10000)"},
      {"JoinedFiles", File({kData}) + "\n" + File({kData}), 4, "follows the end-of-file record"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        c.content.empty() ? dir_.path() + "/none.hex" : dir_.Write("image.hex", c.content);
    HexLoadProblem problem;
    EXPECT_FALSE(LoadHexImage(path.c_str(), buffer_.data(), &problem));
    EXPECT_EQ(problem.line, c.line);
    EXPECT_NE(problem.what.find(c.what), std::string::npos) << problem.what;
    const std::string where = c.line == 0 ? ": " : ", line " + std::to_string(c.line) + ": ";
    EXPECT_EQ(DescribeHexLoadProblem("f.hex", problem), "f.hex" + where + problem.what);
  }
  HexLoadProblem directory;
  EXPECT_FALSE(LoadHexImage(dir_.path().c_str(), buffer_.data(), &directory));
  EXPECT_EQ(directory.what, "not a regular file (only files are read)");
}

TEST_F(HexLoaderTest, LineEndsAndDigitCaseDoNotChangeTheImage) {
  const std::string upper = Lines({Record(0x1234, 0, {0xAB, 0xCD, 0xEF}), kEofRecord}, "\r\n");
  ASSERT_TRUE(Load(upper));
  const Bytes reference(buffer_.begin(), buffer_.begin() + kFirmwareImageSize);
  std::string lower = Lines({Record(0x1234, 0, {0xAB, 0xCD, 0xEF}), kEofRecord}, "\n");
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char ch) { return static_cast<char>(std::tolower(ch)); });
  std::fill(buffer_.begin(), buffer_.end(), 0);
  std::fill(buffer_.begin() + kFirmwareImageSize, buffer_.end(), kCanary);
  ASSERT_TRUE(Load(lower));
  EXPECT_TRUE(std::equal(reference.begin(), reference.end(), buffer_.begin()));
  EXPECT_EQ(buffer_[0x1235], 0xCD);
}

TEST_F(HexLoaderTest, LongestRecordLoadsAndLongerLinesNeverOverflow) {
  Bytes data(251);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(Load(File({Record(0x1000, 0, data)})));
  EXPECT_EQ(buffer_[0x1000 + 250], 250);

  // Lengths 252-255 need more pairs than a record may have; so does any longer line.
  for (std::size_t length : {252u, 255u}) {
    SCOPED_TRACE(length);
    EXPECT_FALSE(Load(Lines({Record(0x1000, 0, Bytes(length, 0x77))})));
    EXPECT_EQ(g_resultCode, 15);
  }
  EXPECT_FALSE(Load(":" + std::string(4000, '0') + "\r\n"));
  EXPECT_EQ(g_resultCode, 15);
  EXPECT_EQ(CountNotFF(), 0u);
}

TEST_F(HexLoaderTest, FileThatCannotBeReadLeavesTheImageUntouched) {
  for (const std::string& path : {dir_.path() + "/missing.hex", dir_.path()}) {
    SCOPED_TRACE(path);
    std::fill(buffer_.begin(), buffer_.end(), 0x55);
    g_resultCode = 0;
    EXPECT_FALSE(LoadHexImage(path.c_str(), buffer_.data()));
    EXPECT_EQ(g_resultCode, 4);
    EXPECT_TRUE(
        std::all_of(buffer_.begin(), buffer_.end(), [](std::uint8_t b) { return b == 0x55; }));
  }
  EXPECT_FALSE(LoadHexImage(nullptr, buffer_.data()));
  EXPECT_EQ(g_resultCode, 4);
}

#ifndef _WIN32
TEST_F(HexLoaderTest, OnlyARegularFileIsAnImage) {
  // A pipe without a writer would keep the open waiting forever, /dev/zero
  // never ends, and a pipe whose writer has gone reads as an empty file, an
  // all-0xFF image: none of them is read. A link to a regular file is.
  const std::string pipe = dir_.path() + "/pipe.hex";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& path : {pipe, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    std::fill(buffer_.begin(), buffer_.end(), 0x55);
    g_resultCode = 0;
    EXPECT_FALSE(LoadHexImage(path.c_str(), buffer_.data()));
    EXPECT_EQ(g_resultCode, 4);
    EXPECT_TRUE(
        std::all_of(buffer_.begin(), buffer_.end(), [](std::uint8_t b) { return b == 0x55; }));
  }
  const std::string file = dir_.Write("image.hex", File({":0100000001FE"}));
  const std::string link = dir_.path() + "/link.hex";
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  EXPECT_TRUE(LoadHexImage(link.c_str(), buffer_.data()));
  EXPECT_EQ(buffer_[0], 0x01);
}
#endif

TEST_F(HexLoaderTest, SuccessAfterFailureClearsTheCode) {
  EXPECT_FALSE(Load(Lines({Record(0xFF00, 0, {1})})));
  EXPECT_EQ(g_resultCode, 16);
  EXPECT_TRUE(Load(File({})));
  EXPECT_EQ(g_resultCode, 0);
  EXPECT_EQ(CountNotFF(), 0u);
}

// Records that straddle the loader's read blocks must load as any other.
TEST_F(HexLoaderTest, RecordsAcrossReadBlocksLoad) {
  for (std::size_t padding : {65536u - 5u, 65536u - 1u, 65536u, 2 * 65536u - 20u}) {
    SCOPED_TRACE(padding);
    ASSERT_TRUE(
        Load(std::string(padding, '\n') + File({kData, Record(0x3000, 0, Bytes(40, 0x12))})));
    EXPECT_EQ(buffer_[0x102], 0x33);
    EXPECT_EQ(buffer_[0x3027], 0x12);
  }
}

// The image built from ReadHexRecord alone, record by record.
bool LoadByRecords(const std::string& path, Bytes& image) {
  image.assign(kFirmwareImageSize, 0xFF);
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  std::uint8_t record[kHexRecordSize];
  while (ReadHexRecord(stream, record)) {
    for (std::uint32_t k = 0, address = record[0] * 256u + record[1]; k < record[2]; ++k) {
      if (address + k >= kLoadableLimit) {
        std::fclose(stream);
        g_resultCode = 16;
        return false;
      }
      image[address + k] = record[3 + k];
    }
  }
  std::fclose(stream);
  return g_resultCode == 0;
}

// The loader reads the file in blocks; wherever a block ends, it must build what the
// record reader builds.
TEST_F(HexLoaderTest, BlockReadingAgreesWithTheRecordReader) {
  std::ifstream in(QTR5_SAMPLE_IMAGE, std::ios::binary);
  const std::string sample{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GT(sample.size(), 100000u);
  std::vector<std::string> variants;
  for (std::size_t pad : {1u, 7u, 300u, 515u, 516u, 65536u - 3u, 65536u + 3u}) {
    variants.push_back(std::string(pad, 'x') + sample);
  }
  for (std::size_t cut : {std::size_t{65536 + 20}, std::size_t{100001}, sample.size() - 5})
    variants.push_back(sample.substr(0, cut));
  std::string withStop = sample;
  withStop[70000] = '\x1A';  // Ctrl-Z ends the text
  variants.push_back(withStop);
  variants.push_back(sample.substr(0, 65436));
  variants.back().append(":").append(600, 'A').append(sample, 65436);
  // Behind the end: a second file, and a line too long whose digits hide a record.
  variants.push_back(sample + sample);
  variants.push_back(sample + ":" + std::string(100, '0') + Record(0x10, 0, Bytes(202, 0)));

  for (std::size_t i = 0; i < variants.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string path = dir_.Write("v.hex", variants[i]);
    const bool loaded = LoadHexImage(path.c_str(), buffer_.data());
    const ResultCode code = g_resultCode;
    Bytes expected;
    EXPECT_EQ(LoadByRecords(path, expected), loaded);
    EXPECT_EQ(g_resultCode, code);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer_.begin()));
  }
}

TEST(ReadHexRecordTest, HandsBackAddressFirstAndStopsAtTheEnd) {
  TempDir dir;
  const std::string path =
      dir.Write("r.hex", Lines({"junk", Record(0xBEEF, 0, {7, 8}), Record(0x10, 0, {}), kEofRecord,
                                Record(0x20, 0, {})}));
  std::FILE* stream = std::fopen(path.c_str(), "r");
  ASSERT_NE(stream, nullptr);
  std::uint8_t record[kHexRecordSize + 1];
  record[kHexRecordSize] = kCanary;
  ASSERT_TRUE(ReadHexRecord(stream, record));
  EXPECT_EQ(Bytes(record, record + 5), (Bytes{0xBE, 0xEF, 2, 7, 8}));
  ASSERT_TRUE(ReadHexRecord(stream, record));
  EXPECT_EQ(Bytes(record, record + 3), (Bytes{0x00, 0x10, 0}));
  g_resultCode = 15;
  EXPECT_FALSE(ReadHexRecord(stream, record));
  EXPECT_EQ(g_resultCode, 0);
  std::fclose(stream);

  // The longest record fills the storage exactly.
  std::FILE* longest = std::fopen(dir.Write("l.hex", Record(0, 0, Bytes(251, 0xEE))).c_str(), "r");
  ASSERT_TRUE(ReadHexRecord(longest, record));
  EXPECT_EQ(record[2], 251);
  EXPECT_EQ(record[kHexRecordSize - 1], 0xEE);
  EXPECT_EQ(record[kHexRecordSize], kCanary);
  EXPECT_FALSE(ReadHexRecord(longest, record));
  std::fclose(longest);

  EXPECT_FALSE(ReadHexRecord(nullptr, record));
  EXPECT_EQ(g_resultCode, 4);
}

TEST(ReadHexRecordTest, CtrlZKeepsEndingTheText) {
  TempDir dir;
  std::FILE* stream = std::fopen(dir.Write("z.hex", "\x1A" + kData).c_str(), "r");
  ASSERT_NE(stream, nullptr);
  std::uint8_t record[kHexRecordSize];
  EXPECT_FALSE(ReadHexRecord(stream, record));
  EXPECT_FALSE(ReadHexRecord(stream, record));
  EXPECT_EQ(g_resultCode, 15);  // the text ends before an end-of-file record
  std::fclose(stream);
}

TEST(SampleImageTest, LoadsWithTheRevisionAndGaps) {
  std::vector<std::uint8_t> image(kFirmwareImageSize);
  ASSERT_TRUE(LoadHexImage(QTR5_SAMPLE_IMAGE, image.data()));
  EXPECT_EQ(std::string(image.begin() + 0xFEF0, image.begin() + 0xFEF4), "1.10");
  EXPECT_EQ(image[0x0000], 0x02);  // reset vector: a long jump
  EXPECT_EQ(image[0x7800], 0xFF);  // unused areas stay empty
  EXPECT_EQ(image[0xC800], 0xFF);
}

}  // namespace
