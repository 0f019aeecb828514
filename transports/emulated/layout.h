// The text that describes an emulated bus:
//   ""                      one adapter, a `drive` at target 0
//   "empty"                 one adapter, no device
//   "absent"                the service is missing or not ready (no adapter)
//   "denied"                the system refuses the program its devices for
//                           want of rights (no adapter; the bus says so)
//   "A:T=KIND[+OPT...],..." devices at adapter A (0-15), target T (0-7)
// KIND is drive, cdrom, disk, q1cd or disk3177k; OPT is rev=TEXT, busy=MS,
// delay=MS, inquiry-bytes=N or fault=NAME (see transports/emulated/README.md).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transports/emulated/device_model.h"

namespace emulated {

inline constexpr unsigned kMaxAdapters = 16;
inline constexpr unsigned kTargetsPerAdapter = 8;

struct LayoutEntry {
  std::uint8_t adapter = 0;
  std::uint8_t target = 0;
  DeviceOptions options;
};

struct Layout {
  bool serviceReady = true;
  bool accessDenied = false;
  std::uint8_t adapterCount = 1;
  std::vector<LayoutEntry> entries;
};

// Parses `text`; on failure returns false and says in `error` what is wrong.
bool ParseLayout(std::string_view text, Layout& layout, std::string& error);

// Parses "KIND[+OPT...]" into `options`.
bool ParseDeviceDescription(std::string_view text, DeviceOptions& options, std::string& error);

// Parses a fault name ("slow-inquiry", "refuse-download", ...).
bool ParseFault(std::string_view name, Fault& fault);

}  // namespace emulated
