#include "discovery/scan_record.h"

#include <cstdio>

const char* ScanFindingName(ScanFinding finding) {
  switch (finding) {
    case ScanFinding::kAccepted:
      return "accepted";
    case ScanFinding::kNoDevice:
      return "no-device";
    case ScanFinding::kFailed:
      return "inquiry-failed";
    case ScanFinding::kNotCdRom:
      return "not-cd-rom";
    case ScanFinding::kQualifier:
      return "qualifier";
    case ScanFinding::kOtherModel:
      return "other-model";
    case ScanFinding::kNotReady:
      return "not-ready";
  }
  return "unknown";
}

std::string ScanEntry::Reason() const {
  char byte[8];
  std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(peripheral));
  switch (finding) {
    case ScanFinding::kAccepted:
    case ScanFinding::kNoDevice:
      return {};
    case ScanFinding::kFailed:
      return std::string(knownAsTheModel ? "a drive of the model that does not answer: " : "") +
             "INQUIRY failed: " + failure.Describe();
    case ScanFinding::kNotReady:
      return std::string(knownAsTheModel ? "a drive of the model" : "a device") +
             " that is not ready yet: INQUIRY failed: " + failure.Describe();
    case ScanFinding::kNotCdRom:
      return std::string("not a CD-ROM drive (INQUIRY byte 0 is ") + byte + ")";
    case ScanFinding::kQualifier:
      return std::string(
                 "a CD-ROM device type, but the peripheral qualifier says no drive is "
                 "connected there (INQUIRY byte 0 is ") +
             byte + ")";
    case ScanFinding::kOtherModel:
      return "a CD-ROM drive of another model (the product identification does not end in "
             "\"3177K\")";
  }
  return {};
}

std::string NotReadyText(const ScanRecord& record, const ScanEntry* only) {
  for (const ScanEntry& entry : record) {
    if (entry.finding != ScanFinding::kNotReady || (only != nullptr && only != &entry)) continue;
    return std::string(entry.knownAsTheModel ? "a drive of the model" : "a device") + " at " +
           std::to_string(entry.adapter) + ":" + std::to_string(entry.target) +
           " is not ready yet; try again";
  }
  return {};
}

std::string NotAnsweringText(const ScanRecord& record, const ScanEntry* only) {
  for (const ScanEntry& entry : record) {
    if (entry.finding != ScanFinding::kFailed || !entry.knownAsTheModel ||
        (only != nullptr && only != &entry))
      continue;
    return "a drive of the model at " + std::to_string(entry.adapter) + ":" +
           std::to_string(entry.target) +
           " does not answer (INQUIRY failed: " + entry.failure.Describe() + ")";
  }
  return {};
}

const ScanEntry* FindScanEntry(const ScanRecord& record, std::uint8_t adapter,
                               std::uint8_t target) {
  for (const ScanEntry& entry : record) {
    if (entry.adapter == adapter && entry.target == target) return &entry;
  }
  return nullptr;
}

std::string FullModelText(const ScanRecord& record, std::uint8_t adapter, std::uint8_t target,
                          const char* fallback) {
  const ScanEntry* entry = FindScanEntry(record, adapter, target);
  if (entry != nullptr && entry->finding == ScanFinding::kAccepted) return entry->model;
  return fallback;
}
