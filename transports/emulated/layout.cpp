#include "transports/emulated/layout.h"

#include <array>

namespace emulated {

namespace {

constexpr std::uint32_t kMaxBusyMs = 600000;
constexpr std::uint32_t kMaxDelayMs = 60000;
constexpr std::uint32_t kMaxInquiryBytes = 35;

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Decimal digits only, no sign, at most `limit`.
bool ParseNumber(std::string_view text, std::uint32_t limit, std::uint32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  std::uint32_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (result > limit) return false;
  value = result;
  return true;
}

struct ScopeName {
  std::string_view suffix;
  FaultScope scope;
};

constexpr std::array<ScopeName, 3> kScopes = {{{"-inquiry", FaultScope::kInquiry},
                                               {"-tray", FaultScope::kTray},
                                               {"-download", FaultScope::kDownload}}};

struct FaultName {
  std::string_view name;
  FaultKind kind;
  bool scoped;  // takes -inquiry, -tray, -download
};

constexpr std::array<FaultName, 12> kFaults = {
    {{"sense", FaultKind::kSense, true},
     {"error", FaultKind::kError, true},
     {"pending-sense", FaultKind::kPendingSense, true},
     {"hang", FaultKind::kHang, true},
     {"slow", FaultKind::kSlow, true},
     {"short-inquiry", FaultKind::kShortInquiry, false},
     {"refuse-download", FaultKind::kRefuseDownload, false},
     {"refuse-image", FaultKind::kRefuseImage, false},
     {"hang-after-download", FaultKind::kHangAfterDownload, false},
     {"unit-attention", FaultKind::kUnitAttention, true},
     {"locked", FaultKind::kLocked, false},
     {"becoming-ready", FaultKind::kBecomingReady, false}}};

bool ParseOption(std::string_view option, DeviceOptions& options, std::string& error) {
  const std::size_t equals = option.find('=');
  if (option.empty()) {
    error = "empty option (two \"+\" in a row, or a \"+\" at the end)";
    return false;
  }
  if (equals == std::string_view::npos) {
    error = "option " + Quoted(option) + " needs a value (NAME=VALUE)";
    return false;
  }
  const std::string_view name = option.substr(0, equals);
  const std::string_view value = option.substr(equals + 1);
  if (name == "rev") {
    bool printable = !value.empty() && value.size() <= 4 && value.front() != ' ';
    for (char c : value) printable = printable && c >= 0x20 && c <= 0x7E;
    if (!printable) {
      error = "rev=" + std::string(value) + ": the revision must be 1 to 4 printable characters";
      return false;
    }
    options.revision = std::string(value);
    return true;
  }
  if (name == "model-after") {
    bool printable = !value.empty() && value.size() <= 24;
    for (char c : value) printable = printable && c >= 0x20 && c <= 0x7E;
    if (!printable) {
      error = "model-after=" + std::string(value) +
              ": the vendor and product must be 1 to 24 printable characters";
      return false;
    }
    options.modelAfterDownload = std::string(value);
    return true;
  }
  if (name == "busy") {
    if (!ParseNumber(value, kMaxBusyMs, options.busyMs)) {
      error = "busy=" + std::string(value) + ": expected milliseconds from 0 to 600000";
      return false;
    }
    return true;
  }
  if (name == "delay") {
    if (!ParseNumber(value, kMaxDelayMs, options.slowDelayMs)) {
      error = "delay=" + std::string(value) + ": expected milliseconds from 0 to 60000";
      return false;
    }
    return true;
  }
  if (name == "inquiry-bytes") {
    if (!ParseNumber(value, kMaxInquiryBytes, options.inquiryBytes)) {
      error = "inquiry-bytes=" + std::string(value) + ": expected a byte count from 0 to 35";
      return false;
    }
    options.faults.push_back(Fault{FaultKind::kShortInquiry, FaultScope::kAll});
    return true;
  }
  if (name == "fault") {
    Fault fault{};
    if (!ParseFault(value, fault)) {
      error = "unknown fault " + Quoted(value) +
              " (expected sense, error, pending-sense, hang or slow, each optionally with "
              "-inquiry, -tray or -download; short-inquiry, refuse-download, refuse-image, "
              "hang-after-download, locked or becoming-ready)";
      return false;
    }
    options.faults.push_back(fault);
    return true;
  }
  error = "unknown option " + Quoted(name) +
          " (expected rev, model-after, busy, delay, inquiry-bytes or fault)";
  return false;
}

}  // namespace

bool ParseFault(std::string_view name, Fault& fault) {
  for (const FaultName& entry : kFaults) {
    if (name == entry.name) {
      fault = Fault{entry.kind, FaultScope::kAll};
      return true;
    }
    if (!entry.scoped || name.substr(0, entry.name.size()) != entry.name) continue;
    for (const ScopeName& scope : kScopes) {
      if (name.substr(entry.name.size()) == scope.suffix) {
        fault = Fault{entry.kind, scope.scope};
        return true;
      }
    }
  }
  return false;
}

bool ParseDeviceDescription(std::string_view text, DeviceOptions& options, std::string& error) {
  options = DeviceOptions{};
  const std::size_t plus = text.find('+');
  const std::string_view kind = text.substr(0, plus);
  if (kind.empty()) {
    error = "missing device kind (expected drive, cdrom, disk, q1cd or disk3177k)";
    return false;
  }
  if (!DeviceKindFromName(kind, options.kind)) {
    error =
        "unknown device kind " + Quoted(kind) + " (expected drive, cdrom, disk, q1cd or disk3177k)";
    return false;
  }
  std::string_view rest = plus == std::string_view::npos ? std::string_view{} : text.substr(plus);
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the '+'
    const std::size_t next = rest.find('+');
    if (!ParseOption(rest.substr(0, next), options, error)) return false;
    rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next);
  }
  return true;
}

bool ParseLayout(std::string_view text, Layout& layout, std::string& error) {
  layout = Layout{};
  text = Trim(text);
  if (text.empty()) {
    layout.entries.push_back(LayoutEntry{});
    return true;
  }
  if (text == "empty") return true;
  if (text == "absent") {
    layout.serviceReady = false;
    layout.adapterCount = 0;
    return true;
  }
  if (text == "denied") {
    layout.accessDenied = true;
    layout.adapterCount = 0;
    return true;
  }
  std::array<std::array<unsigned, kTargetsPerAdapter>, kMaxAdapters> seen{};
  unsigned index = 0;
  std::uint32_t highestAdapter = 0;
  while (true) {
    ++index;
    const std::size_t comma = text.find(',');
    const std::string_view entry = Trim(text.substr(0, comma));
    const std::string where = "entry " + std::to_string(index) + " " + Quoted(entry) + ": ";
    if (entry.empty()) {
      error = "entry " + std::to_string(index) + " is empty (a \",\" too many?)";
      return false;
    }
    if (entry == "empty" || entry == "absent" || entry == "denied") {
      error = where + "\"" + std::string(entry) + "\" stands alone and cannot be combined";
      return false;
    }
    const std::size_t colon = entry.find(':');
    const std::size_t equals = entry.find('=');
    if (colon == std::string_view::npos || equals == std::string_view::npos || colon > equals) {
      error = where + "expected ADAPTER:TARGET=KIND, for example 0:0=drive";
      return false;
    }
    std::uint32_t adapter = 0;
    std::uint32_t target = 0;
    if (!ParseNumber(entry.substr(0, colon), kMaxAdapters - 1, adapter)) {
      error = where + "adapter " + Quoted(entry.substr(0, colon)) + " is not a number from 0 to " +
              std::to_string(kMaxAdapters - 1);
      return false;
    }
    const std::string_view targetText = entry.substr(colon + 1, equals - colon - 1);
    if (!ParseNumber(targetText, kTargetsPerAdapter - 1, target)) {
      error = where + "target " + Quoted(targetText) + " is not a number from 0 to " +
              std::to_string(kTargetsPerAdapter - 1);
      return false;
    }
    if (seen[adapter][target] != 0) {
      error = where + "address " + std::to_string(adapter) + ":" + std::to_string(target) +
              " is already taken by entry " + std::to_string(seen[adapter][target]);
      return false;
    }
    seen[adapter][target] = index;
    LayoutEntry parsed;
    parsed.adapter = static_cast<std::uint8_t>(adapter);
    parsed.target = static_cast<std::uint8_t>(target);
    std::string deviceError;
    if (!ParseDeviceDescription(entry.substr(equals + 1), parsed.options, deviceError)) {
      error = where + deviceError;
      return false;
    }
    layout.entries.push_back(parsed);
    if (adapter > highestAdapter) highestAdapter = adapter;
    if (comma == std::string_view::npos) break;
    text = text.substr(comma + 1);
  }
  layout.adapterCount = static_cast<std::uint8_t>(highestAdapter + 1);
  return true;
}

}  // namespace emulated
