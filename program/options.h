// The options of the qtr5-download programs, parsed into a plain struct.
// Shared by the console program and the desktop programs, so nothing here
// prints: the caller shows the help, version or error text it gets back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Everything the options ask for; the defaults run the program as it always
// ran: the real transport, the default image, every question asked.
struct ProgramOptions {
  // --check FILE [--save-image OUT]: validate an image, no drive involved.
  bool check = false;
  std::string checkFile;
  bool saveImage = false;
  std::string saveImagePath;

  // --emulate[=LAYOUT] and --emulate-state DIR.
  bool emulate = false;
  std::string emulateLayout;  // empty: one adapter, one drive at target 0
  bool emulateState = false;
  std::string emulateStateDir;

  // --record FILE, --replay FILE.
  bool record = false;
  std::string recordPath;
  bool replay = false;
  std::string replayPath;

  // --device A:T, or --device NAME: a name that does not change when the
  // adapter numbers shift (/dev/sgN, or the kernel's H:C:T:L), which the
  // transport turns into an adapter and target (deviceName not empty).
  bool hasDevice = false;
  std::uint8_t deviceAdapter = 0;
  std::uint8_t deviceTarget = 0;
  std::string deviceName;

  // --list; --json (the list, or a summary of the run, as JSON).
  bool list = false;
  bool json = false;

  // --expect-sha256 HASH (64 lower-case hex digits once parsed) and
  // --expect-checksum XXXX: the only image this run may flash.
  bool hasExpectedSha256 = false;
  std::string expectedSha256;
  bool hasExpectedChecksum = false;
  std::uint16_t expectedChecksum = 0;

  // --image FILE, --yes.
  bool hasImage = false;
  std::string imagePath;
  bool yes = false;
  // --dry-run: everything a flash does up to the download command, but the
  // tray is not opened and nothing but INQUIRY reaches a drive; the run ends
  // as a real one would before the tray, or with success when it would
  // download.
  bool dryRun = false;
};

enum class ParseAction {
  kRun,         // options are in ProgramOptions
  kHelp,        // text holds the help text (standard output, status 0)
  kVersion,     // text holds the version line (standard output, status 0)
  kUsageError,  // text holds the message (standard error, status 2)
};

struct ParseResult {
  ParseAction action = ParseAction::kRun;
  ProgramOptions options;
  std::string text;
};

// Parses argv[1..argc-1]. programName names the program in the help and in
// messages ("qtr5-download"). Never throws and never prints.
ParseResult ParseProgramOptions(int argc, const char* const* argv, std::string_view programName);

// The help text, as --help prints it.
std::string ProgramHelpText(std::string_view programName);

// The version line, as --version prints it: the program's title and 1.04.
std::string ProgramVersionText();

// Parses "A:T": A an adapter number 0-255, T a target 0-7, decimal digits
// only. Returns false and leaves the outputs alone for anything else.
bool ParseDeviceAddress(std::string_view text, std::uint8_t& adapter, std::uint8_t& target);

// Parses a device name for --device: "sgN" or "/dev/sgN" (given back as
// "/dev/sgN") or "H:C:T:L" (four decimal numbers). False for anything else.
bool ParseDeviceName(std::string_view text, std::string& name);
