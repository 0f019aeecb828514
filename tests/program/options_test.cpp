// The option parser: what each accepted command line sets, and that every
// command line that makes no sense is refused with a message naming why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program/exit_status.h"
#include "program/json_line.h"
#include "program/options.h"
#include "text/printable.h"

namespace {

ParseResult Parse(std::vector<std::string> args) {
  std::vector<const char*> argv{"qtr5-download"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return ParseProgramOptions(static_cast<int>(argv.size()), argv.data(), "qtr5-download");
}

TEST(Options, NoOptionsRunsInteractivelyOnTheRealTransport) {
  const ParseResult r = Parse({});
  ASSERT_EQ(r.action, ParseAction::kRun);
  EXPECT_FALSE(r.options.check || r.options.emulate || r.options.replay || r.options.record ||
               r.options.hasDevice || r.options.list || r.options.hasImage || r.options.yes);
}

TEST(Options, DriveOptionsAreTakenAsGiven) {
  const ParseResult r =
      Parse({"--emulate=0:0=cdrom,1:5=drive", "--emulate-state", "/tmp/st", "--device", "1:5",
             "--image", "fw.hex", "-y", "--record", "r.jsonl"});
  ASSERT_EQ(r.action, ParseAction::kRun) << r.text;
  const ProgramOptions& o = r.options;
  EXPECT_TRUE(o.emulate);
  EXPECT_EQ(o.emulateLayout, "0:0=cdrom,1:5=drive");
  EXPECT_TRUE(o.emulateState);
  EXPECT_EQ(o.emulateStateDir, "/tmp/st");
  EXPECT_TRUE(o.hasDevice);
  EXPECT_EQ(o.deviceAdapter, 1);
  EXPECT_EQ(o.deviceTarget, 5);
  EXPECT_TRUE(o.hasImage);
  EXPECT_EQ(o.imagePath, "fw.hex");
  EXPECT_TRUE(o.yes);
  EXPECT_TRUE(o.record);
  EXPECT_EQ(o.recordPath, "r.jsonl");
}

TEST(Options, EmulateWithoutLayoutMeansTheDefaultBus) {
  for (const char* form : {"--emulate", "--emulate="}) {
    const ParseResult r = Parse({form, "--list"});
    ASSERT_EQ(r.action, ParseAction::kRun) << form << ": " << r.text;
    EXPECT_TRUE(r.options.emulate) << form;
    EXPECT_EQ(r.options.emulateLayout, "") << form;
    EXPECT_TRUE(r.options.list) << form;
  }
}

TEST(Options, CheckTakesItsFileAndTheSaveFile) {
  const ParseResult r = Parse({"--check", "a.hex", "--save-image", "a.bin"});
  ASSERT_EQ(r.action, ParseAction::kRun) << r.text;
  EXPECT_TRUE(r.options.check);
  EXPECT_EQ(r.options.checkFile, "a.hex");
  EXPECT_TRUE(r.options.saveImage);
  EXPECT_EQ(r.options.saveImagePath, "a.bin");
}

TEST(Options, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(Parse({"--help"}).action, ParseAction::kHelp);
  EXPECT_EQ(Parse({"-h", "--check", "x"}).action, ParseAction::kHelp);
  const ParseResult v = Parse({"--version"});
  ASSERT_EQ(v.action, ParseAction::kVersion);
  EXPECT_EQ(v.text, "QTR5 (XPM-3177K) Download Utility 1.04");
  const ParseResult h = Parse({"--help"});
  EXPECT_EQ(h.text, ProgramHelpText("qtr5-download"));
  EXPECT_NE(h.text.find("Usage: qtr5-download"), std::string::npos);
}

struct Refused {
  std::vector<std::string> args;
  const char* why;  // a piece of the message
};

class RefusedCommandLine : public testing::TestWithParam<Refused> {};

TEST_P(RefusedCommandLine, IsAUsageErrorThatSaysWhy) {
  const ParseResult r = Parse(GetParam().args);
  ASSERT_EQ(r.action, ParseAction::kUsageError);
  EXPECT_NE(r.text.find(GetParam().why), std::string::npos) << r.text;
  EXPECT_EQ(r.text.rfind("qtr5-download: ", 0), 0u) << r.text;
  EXPECT_NE(r.text.find("--help"), std::string::npos) << r.text;
}

INSTANTIATE_TEST_SUITE_P(
    Options, RefusedCommandLine,
    testing::Values(
        Refused{{"--frobnicate"}, "--frobnicate"}, Refused{{"stray"}, "stray"},
        Refused{{"--image"}, "--image needs a value"},
        Refused{{"--image", "a", "--image", "b"}, "only once"}, Refused{{"--device", "1:8"}, "1:8"},
        Refused{{"--device", "0"}, "ADAPTER:TARGET"},
        Refused{{"--check", "a.hex", "--emulate"}, "--check"},
        Refused{{"--check", "a.hex", "--yes"}, "--yes"},
        Refused{{"--check", "a.hex", "--list"}, "--list"},
        Refused{{"--check", "a.hex", "--device", "0:0"}, "--device"},
        Refused{{"--check", "a.hex", "--replay", "r"}, "--replay"},
        Refused{{"--save-image", "a.bin"}, "--save-image"},
        Refused{{"--emulate-state", "d"}, "--emulate-state"},
        Refused{{"--replay", "r", "--emulate"}, "--emulate"},
        Refused{{"--replay", "r", "--record", "w"}, "--record"},
        Refused{{"--list", "--yes"}, "--yes"}, Refused{{"--list", "--image", "a.hex"}, "--image"},
        Refused{{"--list", "--device", "0:0"}, "--device"}, Refused{{"--image="}, "--image"},
        Refused{{"--emulate", "--emulate-state="}, "--emulate-state"},
        Refused{{"--record="}, "--record"}, Refused{{"--check="}, "--check"},
        Refused{{"--expect-sha256", "abc"}, "64 hex digits"},
        Refused{{"--expect-sha256", std::string(63, 'a') + "g"}, "64 hex digits"},
        Refused{{"--expect-checksum", "12345"}, "1 to 4 hex digits"},
        Refused{{"--expect-checksum", "CE7G"}, "1 to 4 hex digits"},
        Refused{{"--list", "--expect-checksum", "CE78"}, "--expect-checksum"},
        Refused{{"--check", "a.hex", "--expect-sha256", std::string(64, '0')}, "--expect-sha256"}));

// Every option the help shows with a value ("--name VALUE": later ones too)
// refuses an empty value and never takes the next option as its value.
TEST(Options, AValueTakingOptionNeverSwallowsTheNextOne) {
  std::istringstream help(ProgramHelpText("qtr5-download"));
  int checked = 0;
  for (std::string line; std::getline(help, line);) {
    const std::size_t dash = line.find("--"), end = line.find(' ', dash);
    if (line.rfind("  -", 0) != 0 || end == std::string::npos || !std::isupper(line[end + 1]))
      continue;
    const std::string option = line.substr(dash, end - dash);
    ++checked;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {option + "=", "--emulate"}, {option, "--json", "--yes"}, {option, "-y"}}) {
      const ParseResult r = Parse(args);
      EXPECT_EQ(r.text.rfind("qtr5-download: " + option + " needs a value", 0), 0u) << r.text;
      EXPECT_EQ(r.options.json, args[1] == "--json") << r.text;
    }
  }
  EXPECT_GE(checked, 7);
}

// Every option the help shows without a value ("-y,--yes   Download...")
// refuses one in every spelling: a value meaning "no" never runs as the flag.
TEST(Options, AFlagRefusesEveryValue) {
  std::istringstream help(ProgramHelpText("qtr5-download"));
  int checked = 0;
  for (std::string line, name; std::getline(help, line);) {
    const std::size_t end = line.find("  ", 2);
    std::istringstream names(line.substr(std::min<std::size_t>(2, line.size()), end - 2));
    while (line.rfind("  -", 0) == 0 && line.find_first_of("[ ", 2) == end &&
           std::getline(names, name, ',') && ++checked)
      for (const char* value : {"false", "no", "0", "off", "", "1", "x=y"})
        EXPECT_EQ(Parse({"--emulate", name + "=" + value}).text.find(name + " takes no value"), 15u)
            << name << "=" << value;
  }
  EXPECT_GE(checked, 6);
}

TEST(Options, SaveImageOverTheCheckedFileIsRefused) {
  const std::filesystem::path dir = testing::TempDir();
  const std::string hex = (dir / "same.hex").string();
  std::ofstream(hex) << ":00000001FF\r\n";
  // The same file under another spelling is still the same file.
  const std::string alias = (dir / "." / "same.hex").string();
  const ParseResult r = Parse({"--check", hex, "--save-image", alias});
  ASSERT_EQ(r.action, ParseAction::kUsageError);
  EXPECT_NE(r.text.find("--save-image"), std::string::npos) << r.text;
  std::filesystem::remove(hex);
}

TEST(Options, UnsafeTextInAnOptionValueIsNotEchoedRaw) {
  const ParseResult r = Parse({"--device", "1\x1b[2J"});
  ASSERT_EQ(r.action, ParseAction::kUsageError);
  EXPECT_EQ(r.text.find('\x1b'), std::string::npos) << r.text;
  EXPECT_NE(r.text.find("1\\x1B[2J"), std::string::npos) << r.text;
}

TEST(DeviceAddress, AcceptsAdapterAndTargetInRange) {
  const struct {
    const char* text;
    int adapter;
    int target;
  } good[] = {{"0:0", 0, 0}, {"1:5", 1, 5}, {"255:7", 255, 7}, {"007:3", 7, 3}};
  for (const auto& c : good) {
    std::uint8_t a = 99;
    std::uint8_t t = 99;
    ASSERT_TRUE(ParseDeviceAddress(c.text, a, t)) << c.text;
    EXPECT_EQ(a, c.adapter) << c.text;
    EXPECT_EQ(t, c.target) << c.text;
  }
}

TEST(DeviceAddress, RefusesAnythingElseAndLeavesTheOutputsAlone) {
  for (const char* text : {"", ":", "1", "1:", ":1", "1:8", "256:0", "-1:0", "+1:0", " 1:0", "1:0 ",
                           "1:0:0", "0x1:0", "1.0", "a:b", "1000:0", "1:07x"}) {
    std::uint8_t a = 99;
    std::uint8_t t = 98;
    EXPECT_FALSE(ParseDeviceAddress(text, a, t)) << "'" << text << "'";
    EXPECT_EQ(a, 99) << text;
    EXPECT_EQ(t, 98) << text;
  }
}

// Names that stay with a device when adapter numbers shift.
TEST(DeviceName, TakesTheSgNodeOrTheKernelsAddressOnly) {
  const struct {
    const char* text;
    const char* name;  // nullptr: refused
  } cases[] = {{"sg3", "/dev/sg3"},    {"/dev/sg12", "/dev/sg12"},
               {"2:0:3:0", "2:0:3:0"}, {"sg", nullptr},
               {"/dev/sda", nullptr},  {"sg1x", nullptr},
               {"2:0:3", nullptr},     {"2:0:3:0:1", nullptr},
               {"2:0:a:0", nullptr},   {"2::3:0", nullptr},
               {"", nullptr}};
  for (const auto& c : cases) {
    std::string name = "untouched";
    EXPECT_EQ(ParseDeviceName(c.text, name), c.name != nullptr) << c.text;
    EXPECT_EQ(name, c.name != nullptr ? c.name : "untouched") << c.text;
  }
  EXPECT_EQ(Parse({"--device", "2:0:3:0", "--emulate"}).options.deviceName, "2:0:3:0");
}

TEST(PrintableText, DefusesControlAndNonAsciiBytes) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"XPM-3177K", "XPM-3177K"},
      {"A\x1b[2JB", "A\\x1B[2JB"},
      {std::string("1.0\0", 4), "1.0\\x00"},
      {"line\r\nfake", "line\\x0D\\x0Afake"},
      {"\x7f\x80\xff", "\\x7F\\x80\\xFF"},
      {"back\\slash", "back\\\\slash"},
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in), c.out);
}

// JSON text keeps every byte: ASCII as it is (the JSON writer escapes what
// it must), bytes 0x80-0xFF as the UTF-8 of the Latin-1 letter of that code.
TEST(JsonText, KeepsAsciiAndGivesHighBytesAsLatin1) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"a\\b", "a\\b"},
      {"a\"b", "a\"b"},
      {std::string("\x01\x1b\0\x7f", 4), std::string("\x01\x1b\0\x7f", 4)},
      {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
      {"\x80\xBF\xC0\xFF", "\xC2\x80\xC2\xBF\xC3\x80\xC3\xBF"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonText(c.in), c.out) << c.in;
}

// JSON strings keep valid UTF-8 as it is and write every byte outside it as
// \udcNN, which a reader maps back to the byte; what JSON must escape is
// escaped as nlohmann::json does.
TEST(JsonString, KeepsValidUtf8AndEscapesEveryOtherByteReversibly) {
  const std::pair<std::string, std::string> cases[] = {
      {"f\xC3\xAFrmw\xC3\xA4re \xE2\x82\xAC\xF0\x9F\x92\xBE\xEF\xBF\xBF",
       "\"f\xC3\xAFrmw\xC3\xA4re \xE2\x82\xAC\xF0\x9F\x92\xBE\xEF\xBF\xBF\""},
      {"f\xE9.hex", "\"f\\udce9.hex\""},                                    // Latin-1
      {"\xC0\x80\xED\xA0\x80", "\"\\udcc0\\udc80\\udced\\udca0\\udc80\""},  // overlong, surrogate
      {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},             // beyond U+10FFFF
      {"\xE2\x82x\xE2\x82", "\"\\udce2\\udc82x\\udce2\\udc82\""},           // cut short
      {"C:\\fw\\\"a\".hex", "\"C:\\\\fw\\\\\\\"a\\\".hex\""},
      {std::string("\x01\t\n\0\x7F", 5), "\"\\u0001\\t\\n\\u0000\x7F\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(JsonString(in), out) << in;
  EXPECT_EQ(JsonLine(nlohmann::ordered_json{{"a", {1, nullptr, true}}, {"b\xFF", "\xFF"}}),
            "{\"a\":[1,null,true],\"b\\udcff\":\"\\udcff\"}");
}

}  // namespace

namespace {

TEST(ExitStatus, AgreedStatusesAndNoTwoOutcomesShareOne) {
  EXPECT_EQ(ExitStatus(Outcome::kSuccess), 0);
  EXPECT_EQ(ExitStatus(Outcome::kFailed), 1);
  EXPECT_EQ(ExitStatus(Outcome::kUsageError), 2);
  EXPECT_EQ(ExitStatus(Outcome::kNoDrive), 3);
  EXPECT_EQ(ExitStatus(Outcome::kReplayDiverged), 7);
  const Outcome all[] = {Outcome::kSuccess,         Outcome::kFailed,
                         Outcome::kUsageError,      Outcome::kNoDrive,
                         Outcome::kInternalFailure, Outcome::kRefusedToGuess,
                         Outcome::kNotDownloaded,   Outcome::kReplayDiverged,
                         Outcome::kIncomplete,      Outcome::kNotAnswering};
  // A long meaning goes on under itself: read as one line.
  std::string help = ProgramHelpText("qtr5-download") + "\n";
  for (std::size_t at; (at = help.find("\n      ")) != std::string::npos;) help.replace(at, 7, " ");
  for (Outcome a : all) {
    for (Outcome b : all) {
      if (a != b) {
        EXPECT_NE(ExitStatus(a), ExitStatus(b));
      }
    }
    // The help explains every status the program can end with.
    const std::string line =
        " " + std::to_string(ExitStatus(a)) + "  " + ExitStatusMeaning(a) + "\n";
    EXPECT_NE(help.find(line), std::string::npos) << line;
  }
}

}  // namespace
