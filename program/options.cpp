// Option parsing with CLI11. The table of options lives in one function so
// that the help text and the parser can never disagree.
#include "program/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "program/exit_status.h"
#include "session/default_image.h"
#include "text/printable.h"
#include "text/version.h"

namespace {

constexpr const char* kDescription =
    "Finds an XPM-3177K CD-ROM drive, opens its tray and downloads a firmware image\n"
    "(an Intel HEX file) to it, then reads back the drive's new firmware revision.\n"
    "Without options it uses the default image QTR5_ORNA.HEX in the current\n"
    "directory and asks before it downloads.";

constexpr const char* kLayoutHelp =
    "Emulated drives: LAYOUT is a comma-separated list of A:T=KIND[+OPTION...]\n"
    "(KIND drive, cdrom, disk, q1cd or disk3177k; OPTION rev=TEXT, busy=MS,\n"
    "delay=MS, inquiry-bytes=N, model-after=TEXT or fault=NAME), or 'empty' (an\n"
    "adapter without devices), 'absent' (no host adapter) or 'denied' (the\n"
    "system refuses the program its devices). Without LAYOUT: one drive at 0:0.\n";

// Values taken as typed and converted after parsing, so that a malformed
// one gets a message of its own.
struct RawValues {
  std::string device;
  std::string sha256;
  std::string checksum;
};

struct OptionHandles {
  CLI::Option* help = nullptr;
  CLI::Option* version = nullptr;
  CLI::Option* check = nullptr;
  CLI::Option* saveImage = nullptr;
  CLI::Option* image = nullptr;
  CLI::Option* yes = nullptr;
  CLI::Option* dryRun = nullptr;
  CLI::Option* device = nullptr;
  CLI::Option* list = nullptr;
  CLI::Option* json = nullptr;
  CLI::Option* emulate = nullptr;
  CLI::Option* emulateState = nullptr;
  CLI::Option* record = nullptr;
  CLI::Option* replay = nullptr;
  CLI::Option* expectSha256 = nullptr;
  CLI::Option* expectChecksum = nullptr;
};

// Writes "--emulate[=LAYOUT]" without the blank CLI11 puts before the value.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override {
    const std::string& text = option->get_option_text();
    if (text.empty()) return "";
    return text.front() == '[' ? text : " " + text;
  }
};

OptionHandles DefineOptions(CLI::App& app, ProgramOptions& o, RawValues& raw) {
  OptionHandles h;
  app.set_help_flag();  // handled below, so that parsing never prints
  auto formatter = std::make_shared<HelpFormatter>();
  formatter->column_width(24);
  app.formatter(formatter);
  app.footer(std::string(kLayoutHelp) + "\nExit status:\n" + ExitStatusHelp());
  h.help = app.add_flag("-h,--help")->description("Print this help and exit");
  h.version =
      app.add_flag("--version")->description("Print the program's name and version and exit");
  h.check =
      app.add_option("--check", o.checkFile, "Check the image in FILE (no drive needed) and exit")
          ->option_text("FILE");
  h.saveImage = app.add_option("--save-image", o.saveImagePath,
                               "With --check: write the 65536 image bytes to OUT")
                    ->option_text("OUT");
  h.image = app.add_option("--image", o.imagePath, "Flash FILE instead of QTR5_ORNA.HEX")
                ->option_text("FILE");
  h.expectSha256 =
      app.add_option("--expect-sha256", raw.sha256, "Flash only the image file with this SHA-256")
          ->option_text("HASH");
  h.expectChecksum = app.add_option("--expect-checksum", raw.checksum,
                                    "Flash only an image with this checksum (4 hex digits)")
                         ->option_text("SUM");
  h.yes = app.add_flag("-y,--yes")->description("Download once the drive is ready; do not ask");
  h.dryRun = app.add_flag("--dry-run")
                 ->description("Check drive and image as a flash would; open no tray");
  h.device = app.add_option("--device", raw.device,
                            "Use the drive at A:T (or as --list names it); do not ask")
                 ->option_text("A:T");
  h.list =
      app.add_flag("--list")->description("List the drives found and exit (no tray is opened)");
  h.json = app.add_flag("--json")->description("Print the list, or what the run did, as JSON");
  h.emulate = app.add_option("--emulate", o.emulateLayout,
                             "Use emulated drives instead of real ones (see below)")
                  ->expected(0, 1)
                  ->option_text("[=LAYOUT]");
  h.emulateState = app.add_option("--emulate-state", o.emulateStateDir,
                                  "With --emulate: keep the drives' firmware in DIR")
                       ->option_text("DIR");
  h.record =
      app.add_option("--record", o.recordPath, "Write every drive command and outcome to FILE")
          ->option_text("FILE");
  h.replay =
      app.add_option("--replay", o.replayPath, "Answer drive commands from the recording FILE")
          ->option_text("FILE");
  return h;
}

bool Given(const CLI::Option* option) {
  return option->count() > 0;
}

// The first option of the list that was given, or nullptr.
const CLI::Option* FirstGiven(std::initializer_list<const CLI::Option*> options) {
  for (const CLI::Option* option : options)
    if (Given(option)) return option;
  return nullptr;
}

// CLI11's words for a missing or repeated value, in plainer ones.
std::string ParseErrorText(const CLI::ParseError& error) {
  std::string text = error.what();
  const std::size_t colon = text.find(": ");
  if (error.get_name() == "ArgumentMismatch" && colon != std::string::npos) {
    const std::string option = text.substr(0, colon);
    if (text.find("missing") != std::string::npos) return option + " needs a value";
    if (text.find("At Most") != std::string::npos) return option + " may be given only once";
  }
  return text;
}

// The message may quote what was typed (a value, an unknown option): it is
// made printable here, once, so that no control byte reaches the terminal.
std::string Usage(std::string_view program, const std::string& message) {
  std::string text(program);
  text += ": ";
  text += PrintableText(message);
  text += "\nRun '";
  text += program;
  text += " --help' to see the options.";
  return text;
}

bool SameExistingFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

// The path made absolute and normal, with the links of its existing part
// followed, for names that do not (all) exist yet.
std::filesystem::path NormalPath(const std::string& name) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(name, error);
  if (error) path = name;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical.lexically_normal();
}

// Whether the two names are one file: the same file when both exist, the
// same normal path when neither does. A name that exists and one that does
// not are never the same file.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code errorA;
  std::error_code errorB;
  const bool aExists = std::filesystem::exists(a, errorA);
  const bool bExists = std::filesystem::exists(b, errorB);
  if (aExists && bExists) return SameExistingFile(a, b);
  if (aExists || bExists) return false;
  return NormalPath(a) == NormalPath(b);
}

// The recording is created (emptied) before anything is read, so it must not
// be a file the run reads or writes for another purpose.
std::string CheckRecordFile(const ProgramOptions& o) {
  if (!o.record) return "";
  const std::string image = o.hasImage ? o.imagePath : std::string(kDefaultImageName);
  if (SameFile(o.recordPath, image)) {
    const std::string which = o.hasImage ? "the image that --image names"
                                         : "the default image " + image + " in the current folder";
    return "--record " + o.recordPath + " is " + which +
           ": recording would empty it before it is read; name another file";
  }
  const std::pair<bool, const std::string*> others[] = {
      {o.replay, &o.replayPath}, {o.check, &o.checkFile}, {o.saveImage, &o.saveImagePath}};
  for (const auto& [given, path] : others) {
    if (given && SameFile(o.recordPath, *path))
      return "--record " + o.recordPath +
             " is a file this run reads or writes already; name another file";
  }
  // The emulated drives' state folder holds only what they keep (a file in
  // it that is no firmware makes every later run fail), whatever the links.
  if (o.emulateState) {
    std::filesystem::path state = NormalPath(o.emulateStateDir);
    if (state.filename().empty()) state = state.parent_path();  // "DIR/"
    const std::filesystem::path record = NormalPath(o.recordPath);
    const auto [end, unused] =
        std::mismatch(state.begin(), state.end(), record.begin(), record.end());
    if (end == state.end())
      return "--record " + o.recordPath + " lies in the --emulate-state folder " +
             o.emulateStateDir + "; name a file outside it";
  }
  return "";
}

// Every option that takes a value gets a value of its own. CLI11 takes the
// next argument as the value whatever it looks like, so "--record --emulate
// --yes" would record into a file named "--emulate" and then run against the
// real drives; and "--image=" would fall back to the default image. So a
// value that is empty, or that starts with '-' (another option, known or
// not), is refused for every such option, including any added later. Only
// an optional value (--emulate[=LAYOUT]) may be left empty.
std::string CheckOptionValues(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_items_expected_max() == 0 || !Given(option)) continue;
    for (const std::string& value : option->results()) {
      if (value.empty()) {
        if (option->get_expected_min() == 0) continue;
        return option->get_name() + " needs a value";
      }
      if (value.size() > 1 && value.front() == '-')
        return option->get_name() + " needs a value of its own, not the option '" + value +
               "' (name a file that starts with '-' as ./" + value + ")";
    }
  }
  return "";
}

// An option that takes no value never takes one: "--yes=false", "--yes=" or
// "-y=0" would otherwise be read by CLI11 as the bare flag (or as a count),
// so that a value meaning "no" would mean yes. Checked on the command line as
// typed, before CLI11 parses it, for every such option, including any added
// later. An argument that is the value of the option before it is refused too,
// which is right: no value of this program starts with '-'.
std::string CheckFlagsTakeNoValue(const CLI::App& app, int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    const std::size_t equals = arg.find('=');
    if (arg.size() < 2 || arg.front() != '-' || equals == std::string_view::npos) continue;
    // "--name=VALUE", or "-xVALUE" where the short option before '=' gets it.
    const bool isLong = arg[1] == '-';
    const std::string name(isLong ? arg.substr(2, equals - 2) : arg.substr(equals - 1, 1));
    for (const CLI::Option* option : app.get_options()) {
      const bool named = isLong ? option->check_lname(name) : option->check_sname(name);
      if (named && option->get_items_expected_max() == 0)
        return (isLong ? "--" : "-") + name + " takes no value; give it alone or leave it out";
    }
  }
  return "";
}

// The combinations that make no sense; returns the message, or "" when fine.
std::string CheckCombinations(const OptionHandles& h, const ProgramOptions& o) {
  auto name = [](const CLI::Option* option) { return option->get_name(); };
  if (o.check) {
    if (const CLI::Option* other =
            FirstGiven({h.image, h.yes, h.dryRun, h.device, h.list, h.emulate, h.emulateState,
                        h.record, h.replay, h.expectSha256, h.expectChecksum}))
      return "--check reads a file and needs no drive; it cannot be combined with " + name(other);
  } else if (o.saveImage) {
    return "--save-image works only together with --check";
  }
  if (o.emulateState && !o.emulate) return "--emulate-state works only together with --emulate";
  if (o.replay && o.emulate)
    return "--replay answers from a recording; it cannot be combined with --emulate";
  if (o.replay && o.record) return "--record cannot be combined with --replay";
  if (o.list) {
    if (const CLI::Option* other =
            FirstGiven({h.image, h.yes, h.dryRun, h.device, h.expectSha256, h.expectChecksum}))
      return "--list only scans for drives; it cannot be combined with " + name(other);
  }
  // The check must never write its image over the HEX file it just read.
  if (o.saveImage && SameExistingFile(o.checkFile, o.saveImagePath))
    return "--save-image must not name the file that --check reads";
  return CheckRecordFile(o);
}

// "--expect-sha256 needs ..." when a pinned value is malformed; "" when fine.
std::string ParseExpectations(const OptionHandles& h, const RawValues& raw, ProgramOptions& o) {
  auto hexDigits = [](const std::string& text, std::size_t min, std::size_t max) {
    if (text.size() < min || text.size() > max) return false;
    for (const char c : text)
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  o.hasExpectedSha256 = Given(h.expectSha256);
  if (o.hasExpectedSha256) {
    if (!hexDigits(raw.sha256, 64, 64))
      return "--expect-sha256 expects the 64 hex digits sha256sum prints, not '" +
             PrintableText(raw.sha256) + "'";
    for (const char c : raw.sha256)
      o.expectedSha256 += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  o.hasExpectedChecksum = Given(h.expectChecksum);
  if (o.hasExpectedChecksum) {
    if (!hexDigits(raw.checksum, 1, 4))
      return "--expect-checksum expects 1 to 4 hex digits such as CE78, not '" +
             PrintableText(raw.checksum) + "'";
    o.expectedChecksum = static_cast<std::uint16_t>(std::stoul(raw.checksum, nullptr, 16));
  }
  return "";
}

}  // namespace

std::string ProgramVersionText() {
  return std::string(kProgramTitle) + " " + kProgramVersion;
}

std::string ProgramHelpText(std::string_view programName) {
  ProgramOptions options;
  RawValues raw;
  CLI::App app(std::string(kProgramTitle) + " " + kProgramVersion + "\n" + kDescription + "\n",
               std::string(programName));
  DefineOptions(app, options, raw);
  std::string text = app.help();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

namespace {

ParseResult ParseOptions(int argc, const char* const* argv, std::string_view programName) {
  ParseResult result;
  ProgramOptions& o = result.options;
  RawValues raw;
  CLI::App app("", std::string(programName));
  const OptionHandles h = DefineOptions(app, o, raw);
  auto usageError = [&](const std::string& message) {
    result.action = ParseAction::kUsageError;
    result.text = Usage(programName, message);
    return result;
  };

  if (const std::string problem = CheckFlagsTakeNoValue(app, argc, argv); !problem.empty())
    return usageError(problem);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return usageError(ParseErrorText(error));
  }
  if (const std::string problem = CheckOptionValues(app); !problem.empty())
    return usageError(problem);
  if (Given(h.help)) {
    result.action = ParseAction::kHelp;
    result.text = ProgramHelpText(programName);
    return result;
  }
  if (Given(h.version)) {
    result.action = ParseAction::kVersion;
    result.text = ProgramVersionText();
    return result;
  }

  o.check = Given(h.check);
  o.saveImage = Given(h.saveImage);
  o.hasImage = Given(h.image);
  o.yes = Given(h.yes);
  o.dryRun = Given(h.dryRun);
  o.list = Given(h.list);
  o.json = Given(h.json);
  o.emulate = Given(h.emulate);
  o.emulateState = Given(h.emulateState);
  o.record = Given(h.record);
  o.replay = Given(h.replay);
  o.hasDevice = Given(h.device);
  if (o.hasDevice && !ParseDeviceAddress(raw.device, o.deviceAdapter, o.deviceTarget) &&
      !ParseDeviceName(raw.device, o.deviceName))
    return usageError(
        "--device expects ADAPTER:TARGET such as 0:1 (adapter 0 to 255, target 0 to 7), or a "
        "device name that --list shows (/dev/sg3, 2:0:3:0), not '" +
        raw.device + "'");
  std::string problem = ParseExpectations(h, raw, o);
  if (problem.empty()) problem = CheckCombinations(h, o);
  if (!problem.empty()) return usageError(problem);
  return result;
}

}  // namespace

ParseResult ParseProgramOptions(int argc, const char* const* argv, std::string_view programName) {
  ParseResult result = ParseOptions(argc, argv, programName);
  // A usage error is an outcome --json reports too, however the rest of the
  // command line went wrong.
  if (result.action == ParseAction::kUsageError) {
    for (int i = 1; i < argc; ++i)
      if (std::string_view(argv[i]) == "--json") result.options.json = true;
  }
  return result;
}
