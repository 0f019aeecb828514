// Why the last drive command of an AspiDevice did not succeed, in a form
// every front end can show: the request block's final status, the host
// adapter and target status, the sense key with its additional sense code,
// and whether the command ran out of its time limit.
#pragma once

#include <cstdint>
#include <string>

class AspiDevice;

struct CommandFailure {
  bool failed = false;        // the command did not end with SS_COMP and no sense data
  bool timedOut = false;      // no end within its time limit (the program's or the host's)
  bool noDevice = false;      // nobody answered the selection at that address
  std::uint8_t status = 0;    // SRB_Status
  std::uint8_t haStat = 0;    // SRB_HaStat
  std::uint8_t targStat = 0;  // SRB_TargStat
  bool hasSense = false;
  std::uint8_t senseKey = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  long limitSeconds = 0;  // the command's time limit, for the text of a timeout

  // True for sense key 6: the drive did not perform the command.
  bool UnitAttention() const { return hasSense && senseKey == 0x6; }
  // NOT READY with a cause that passes by itself: ASC 04h with ASCQ 00h,
  // 01h (becoming ready) or 07h (operation in progress).
  bool NotReadyYet() const;
  // The drive answered, but is still busy: not ready yet, a unit attention,
  // or BUSY status. A drive that rewrites its firmware answers so for a while.
  bool DriveBusy() const;
  // For a command that sends data (the download): it failed in a way that
  // may have changed what the drive holds. The drive says it failed while
  // performing it (MEDIUM ERROR, HARDWARE ERROR, ABORTED COMMAND), or the
  // failure came once the command was on its way and says nothing of how
  // far it got (CHECK CONDITION without sense data, a host adapter status,
  // an abort by the host). False for a refusal before the data (NOT READY,
  // ILLEGAL REQUEST, UNIT ATTENTION, BUSY and the other sense keys), for a
  // request the system never sent, and for a timeout, which callers tell
  // apart: the drive may still be at work then.
  bool MayHaveWrittenPart() const;
  // Plain words: "no answer within 30 s", "sense 5/53/02 (illegal request:
  // medium removal prevented)", "no device answers", "host adapter status
  // 0x07"; empty when the command succeeded.
  std::string Describe() const;
};

// The outcome of the command ExecuteWait last ran on `device`.
CommandFailure LastCommandFailure(const AspiDevice& device);

// Sense key and additional sense code out of fixed (0x70, 0x71) or
// descriptor (0x72, 0x73) sense data; false when the bytes are neither.
bool ParseSense(const std::uint8_t* sense, int length, std::uint8_t& key, std::uint8_t& asc,
                std::uint8_t& ascq);

// "sense 6/29/00 (unit attention: power on, reset or bus device reset
// occurred)": key, code and qualifier in hexadecimal, then their meaning.
std::string DescribeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

// The same words straight from `length` sense bytes, for every transport's own
// messages; empty when the bytes are no sense data.
std::string DescribeSenseData(const std::uint8_t* sense, int length);
