// Reads the SCSI generic devices and their addresses from sysfs.
#include "transports/linux/sg_topology.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace sg {

namespace {

bool ParseNumber(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

// "sg" followed by a decimal number.
bool IsSgName(const std::string& name) {
  int number = 0;
  return name.size() > 2 && name.compare(0, 2, "sg") == 0 &&
         ParseNumber(std::string_view(name).substr(2), number);
}

// What a small sysfs attribute file holds (at most 4 KiB), read through a
// descriptor opened close-on-exec; "" when it cannot be read.
std::string ReadAttribute(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  char text[4096];
  ssize_t size = 0;
  do {
    size = ::read(fd, text, sizeof text);
  } while (size < 0 && errno == EINTR);
  ::close(fd);
  return size > 0 ? std::string(text, static_cast<std::size_t>(size)) : "";
}

// The whole number a sysfs attribute file starts with, or -1.
long ReadNumber(const fs::path& path) {
  const std::string text = ReadAttribute(path);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && value >= 0 ? value : -1;
}

// The first positive whole number in a small sysfs attribute file, or -1.
long ReadNumberFile(const fs::path& path) {
  const long value = ReadNumber(path);
  return value > 0 ? value : -1;
}

// A small sysfs text attribute's first line without trailing blanks.
std::string ReadTextFile(const fs::path& path) {
  std::string text = ReadAttribute(path);
  text.resize(std::min(text.size(), text.find('\n')));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

bool ParseAddress(std::string_view text, ScsiAddress& address) {
  int parts[4];
  for (int i = 0; i < 4; ++i) {
    const std::size_t colon = text.find(':');
    const std::string_view part = i < 3 ? text.substr(0, colon) : text;
    if ((i < 3 && colon == std::string_view::npos) || !ParseNumber(part, parts[i])) return false;
    if (i < 3) text.remove_prefix(colon + 1);
  }
  address = ScsiAddress{parts[0], parts[1], parts[2], parts[3]};
  return true;
}

SgTopology ReadSgTopology(const std::string& sysfsRoot) {
  SgTopology topology;
  const fs::path classDir = fs::path(sysfsRoot) / "class" / "scsi_generic";
  std::error_code error;
  if (!fs::is_directory(classDir, error)) return topology;
  topology.classPresent = true;
  for (fs::directory_iterator it(classDir, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsSgName(name)) continue;
    std::error_code linkError;
    const fs::path target = fs::read_symlink(it->path() / "device", linkError);
    ScsiAddress address;
    if (linkError) {
      topology.unreadable.push_back(name + ": " + linkError.message());
    } else if (!ParseAddress(target.filename().string(), address)) {
      topology.unreadable.push_back(name + ": its device link names no SCSI address");
    } else {
      const long type = ReadNumber(it->path() / "device" / "type");
      topology.nodes.push_back(SgNode{name, address,
                                      type >= 0 && type < 32 ? static_cast<int>(type) : -1,
                                      ReadTextFile(it->path() / "device" / "vendor") + " " +
                                          ReadTextFile(it->path() / "device" / "model")});
    }
  }
  std::sort(topology.nodes.begin(), topology.nodes.end(), [](const SgNode& a, const SgNode& b) {
    return std::tie(a.address.host, a.address.channel, a.address.target, a.address.lun) <
           std::tie(b.address.host, b.address.channel, b.address.target, b.address.lun);
  });
  std::sort(topology.unreadable.begin(), topology.unreadable.end());
  return topology;
}

long SysfsMaxTransferBytes(const std::string& sysfsRoot, const SgNode& node) {
  const fs::path root(sysfsRoot);
  std::error_code error;
  const fs::path blockDir = root / "class" / "scsi_generic" / node.name / "device" / "block";
  if (fs::is_directory(blockDir, error)) {
    for (fs::directory_iterator it(blockDir, error), end; !error && it != end;
         it.increment(error)) {
      const long kib = ReadNumberFile(it->path() / "queue" / "max_hw_sectors_kb");
      if (kib > 0) return kib * 1024;
    }
  }
  const long sectors = ReadNumberFile(root / "class" / "scsi_host" /
                                      ("host" + std::to_string(node.address.host)) / "max_sectors");
  if (sectors > 0) return sectors * 512;
  return -1;
}

}  // namespace sg
