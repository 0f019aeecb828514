// The image check: printed lines, results, the checksum over the whole 64 KiB, the
// file name cut, saving the image, and the message table it prints from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "image/hex_loader.h"
#include "image/image_check.h"
#include "image/result_codes.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"

namespace {

struct CheckRun {
  int result;
  std::string out;
  std::string err;
};

std::string ReadAll(std::FILE* stream) {
  std::rewind(stream);
  std::string text;
  for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) text += static_cast<char>(c);
  std::fclose(stream);
  return text;
}

CheckRun Check(const char* path, const char* save = nullptr) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int result = RunImageCheck(path, save, out, err);
  return {result, ReadAll(out), ReadAll(err)};
}

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A file that sets every address 0x0000-0xFEFF to `value`.
std::string FullImage(std::uint8_t value) {
  std::string text;
  for (std::uint32_t address = 0; address < kLoadableLimit; address += 16) {
    text += Record(static_cast<std::uint16_t>(address), 0, std::vector<std::uint8_t>(16, value)) +
            "\r\n";
  }
  return text + kEofRecord + "\r\n";
}

TEST(ImageCheckTest, PrintsChecksumAndStatus) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string content;
    int result;
    std::string out;
  } cases[] = {
      {"NoDataRecords", kEofRecord + "\r\n", 1,
       "Check Sum: 0000\nHEX file holds no firmware data!\n"},
      {"AllZeroBelowFF00", FullImage(0x00), 0, "Check Sum: FF00\nReading is success!\n"},
      {"SumWrapsAt16Bits", Record(0, 0, {0x01}) + "\r\n" + kEofRecord, 0,
       "Check Sum: FF02\nReading is success!\n"},
      {"Damaged", ":00000001FE\r\n", 1, "HEX file is damaged!\n"},
      {"AddressOverflow", Record(0xFF00, 0, {1}) + "\r\n", 1,
       "HEX file is damaged! (Address overflow)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CheckRun run = Check(dir.Write("c.hex", c.content).c_str());
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.out, c.out);
    // A damaged file: the line and what is wrong with it, on the error stream.
    const bool damaged = c.out.rfind("HEX file is damaged!", 0) == 0;
    EXPECT_EQ(run.err.rfind(dir.path() + "/c.hex, line 1: ", 0) == 0, damaged) << run.err;
  }
  const CheckRun missing = Check((dir.path() + "/none.hex").c_str());
  EXPECT_EQ(missing.result, kImageCheckNotBuilt);
  EXPECT_EQ(missing.out, "Can NOT open HEX file...\n");
  EXPECT_EQ(missing.err, dir.path() + "/none.hex: the system says: No such file or directory\n");
  // A built image's warnings, worded as for a download, follow on the error stream.
  const std::string few = dir.Write("w.hex", Record(0, 0, {1}) + "\n" + kEofRecord);
  EXPECT_EQ(Check(few.c_str()).err, "Warning: " + FewDataBytesWarning(few, 1) + "\n");
}

TEST(ImageCheckTest, EmptyNameIsAUsageMatter) {
  for (const char* path : {static_cast<const char*>(nullptr), ""}) {
    const CheckRun run = Check(path);
    EXPECT_EQ(run.result, kImageCheckUsage);
    EXPECT_EQ(run.out, "");
  }
}

TEST(ImageCheckTest, NameLongerThan259CharactersIsRefused) {
  // Cut to 259 characters the longer name would name another file, whose image the
  // check would then report (and the Download command flash).
  TempDir dir;
  std::string path = dir.path();
  while (path.size() + 101 < static_cast<std::size_t>(kMaxImagePathLength)) {
    path += "/d";
    std::filesystem::create_directory(path);
  }
  const std::size_t nameLength = static_cast<std::size_t>(kMaxImagePathLength) - path.size() - 1;
  path += '/';
  path.append(nameLength, 'f');
  ASSERT_EQ(path.size(), static_cast<std::size_t>(kMaxImagePathLength));
  std::ofstream(path) << Record(0, 0, {0x01}) << "\r\n" << kEofRecord;
  std::ofstream(path + ".extra") << Record(0, 0, {0x02}) << "\r\n" << kEofRecord;

  const CheckRun fits = Check(path.c_str());
  EXPECT_EQ(fits.result, kImageCheckBuilt);
  EXPECT_EQ(fits.out, "Check Sum: FF02\nReading is success!\n");

  const std::string image = dir.path() + "/image.bin";
  const CheckRun tooLong = Check((path + ".extra").c_str(), image.c_str());
  EXPECT_EQ(tooLong.result, kImageCheckNotBuilt);
  EXPECT_EQ(tooLong.out, "Can NOT open HEX file...\n");
  EXPECT_FALSE(std::filesystem::exists(image));
}

TEST(ImageCheckTest, SavesTheWholeImageOnlyWhenBuilt) {
  TempDir dir;
  const std::string image = dir.path() + "/image.bin";
  const std::string good =
      dir.Write("good.hex", Record(0x10, 0, {0x42, 0x43}) + "\r\n" + kEofRecord);
  ASSERT_EQ(Check(good.c_str(), image.c_str()).result, kImageCheckBuilt);
  std::string expected(kFirmwareImageSize, '\xFF');
  expected[0x10] = 0x42;
  expected[0x11] = 0x43;
  EXPECT_EQ(FileContent(image), expected);

  // A failed load leaves an existing file alone.
  std::ofstream(image, std::ios::binary | std::ios::trunc) << "previous";
  const std::string bad = dir.Write("bad.hex", ":00000001FE\r\n");
  EXPECT_EQ(Check(bad.c_str(), image.c_str()).result, kImageCheckNotBuilt);
  EXPECT_EQ(FileContent(image), "previous");
  EXPECT_EQ(dir.Entries().size(), 3u);  // good.hex, bad.hex, image.bin: no leftovers
}

TEST(ImageCheckTest, FailedSaveReportsAndLeavesNothing) {
  TempDir dir;
  const std::string good = dir.Write("good.hex", Record(0, 0, {0xFF}) + "\r\n" + kEofRecord);
  const std::string inMissingDir = dir.path() + "/no/such/dir/image.bin";
  const std::string onDirectory = dir.path() + "/sub";
  std::filesystem::create_directory(onDirectory);
  for (const std::string& target : {inMissingDir, onDirectory}) {
    SCOPED_TRACE(target);
    const CheckRun run = Check(good.c_str(), target.c_str());
    EXPECT_EQ(run.result, kImageCheckNotBuilt);
    EXPECT_EQ(run.out, "Check Sum: 0000\nReading is success!\n");
    EXPECT_NE(run.err.find("cannot save the image to \"" + target + "\""), std::string::npos)
        << run.err;
    EXPECT_EQ(dir.Entries().size(), 2u);  // good.hex and sub only
  }
  EXPECT_TRUE(std::filesystem::is_empty(onDirectory));
}

#ifndef _WIN32
TEST(ImageCheckTest, SaveNeverReplacesSomethingOtherThanAFile) {
  // Renaming the new image over a device node, a pipe or a link to one would
  // replace that node instead of writing to it.
  TempDir dir;
  const std::string good = dir.Write("good.hex", Record(0, 0, {0xFF}) + "\r\n" + kEofRecord);
  const std::string pipe = dir.path() + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string link = dir.path() + "/link";
  std::filesystem::create_symlink(pipe, link);
  for (const std::string& target : {pipe, link}) {
    SCOPED_TRACE(target);
    const CheckRun run = Check(good.c_str(), target.c_str());
    EXPECT_EQ(run.result, kImageCheckNotBuilt);
    EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(dir.Entries().size(), 3u);  // good.hex, pipe, link: no leftovers
  }
}
#endif

TEST(ImageCheckTest, OutputFailureIsNotSuccess) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  std::FILE* err = std::tmpfile();
  const std::string good = dir.Write("good.hex", Record(0, 0, {0xFF}) + "\r\n" + kEofRecord);
  EXPECT_EQ(RunImageCheck(good.c_str(), nullptr, full, err), kImageCheckNotBuilt);
  std::fclose(full);
  EXPECT_NE(ReadAll(err), "");
}

TEST(ResultMessagesTest, LoaderCodesAndTheUpdateNotice) {
  for (int code = 0; code < kResultCodeCount; ++code)
    EXPECT_GT(std::strlen(ResultMessages[code]), 0u);
  EXPECT_STREQ(ResultMessages[0], "No error detected...");
  EXPECT_STREQ(ResultMessages[4], "Can NOT open HEX file...");
  EXPECT_STREQ(ResultMessages[15], "HEX file is damaged!");
  EXPECT_STREQ(ResultMessages[16], "HEX file is damaged! (Address overflow)");
  const std::string notice = ResultMessages[17];
  EXPECT_EQ(notice.size(), 178u);
  EXPECT_EQ(notice.substr(0, notice.find('\n')), "1. Close other programs before update.");
  EXPECT_EQ(notice.substr(notice.rfind('\n') + 1), " 3. Please reboot system after update. ");
  EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 5);
}

}  // namespace
