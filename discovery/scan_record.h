// What the start-up sweep saw at each address it asked: who answered, what
// the answer said and why it was not accepted. The sweep keeps only drives
// of the model in DeviceTable; this record lets a front end explain the rest
// (a drive that is not ready, a CD-ROM of another model, a disk).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aspi/command_failure.h"

enum class ScanFinding : std::uint8_t {
  kAccepted,    // a drive of the model (kept in DeviceTable unless the table was full)
  kNoDevice,    // nobody answered at this address
  kFailed,      // a device is there, but INQUIRY failed (error, sense data, time limit)
  kNotCdRom,    // its device type is not CD/DVD
  kQualifier,   // a CD/DVD device type with a peripheral qualifier other than 0
  kOtherModel,  // a CD/DVD device whose product identification does not end in "3177K"
  kNotReady,    // INQUIRY kept failing with NOT READY, not ready yet (becoming ready,
                // operation in progress): the device may be usable a little later
};

struct ScanEntry {
  std::uint8_t adapter = 0;
  std::uint8_t target = 0;
  ScanFinding finding = ScanFinding::kNoDevice;
  // From the INQUIRY data when INQUIRY succeeded: byte 0, the vendor and
  // product identification (bytes 8-31) and the revision (bytes 32-35), each
  // without trailing blanks or NUL padding; a NUL inside the text is kept.
  std::uint8_t peripheral = 0;
  std::string model;
  std::string revision;
  // How INQUIRY ended (failure.failed is false when it succeeded).
  CommandFailure failure;
  // INQUIRY did not complete (kNotReady, kFailed): the system's own record
  // of the device (sysfs, the emulated layout) names a CD/DVD drive of the
  // model. Such a device is never kNoDevice.
  bool knownAsTheModel = false;

  // Plain words, why the device was not accepted ("not a CD-ROM drive
  // (device type 0x00)", "INQUIRY failed: sense 2/04/01 (...)"); empty for
  // an accepted drive and for an address without a device.
  std::string Reason() const;
};

// "accepted", "no-device", "inquiry-failed", "not-cd-rom", "qualifier",
// "other-model", "not-ready": stable names for machine-readable output.
const char* ScanFindingName(ScanFinding finding);

// Every address a sweep asked, in sweep order (adapter, then target).
// SweepDevices clears and fills it.
using ScanRecord = std::vector<ScanEntry>;

// "a drive of the model at A:T is not ready yet; try again" (or "a device
// at A:T ..." when nothing says it is a drive of the model) for the first
// kNotReady entry of the sweep; empty when there is none.
// With `only`, the text of that entry when it is kNotReady.
std::string NotReadyText(const ScanRecord& record, const ScanEntry* only = nullptr);

// "a drive of the model at A:T does not answer (INQUIRY failed: no answer
// within 10 s)" for the first kFailed entry of the sweep that the system
// names as a drive of the model; empty when there is none. With `only`, the
// text of that entry when it is one.
std::string NotAnsweringText(const ScanRecord& record, const ScanEntry* only = nullptr);

// The entry of the sweep for adapter:target, or null.
const ScanEntry* FindScanEntry(const ScanRecord& record, std::uint8_t adapter, std::uint8_t target);

// The model text of an accepted drive with every byte INQUIRY gave (a NUL
// inside it included), taken from the scan record; DeviceEntry::model ends
// at the first NUL.
std::string FullModelText(const ScanRecord& record, std::uint8_t adapter, std::uint8_t target,
                          const char* fallback);
