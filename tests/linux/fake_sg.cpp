#include "fake_sg.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace sgtest {

FakeSysfs::FakeSysfs() {
  fs::create_directories(root_ / "dev");
}

void FakeSysfs::AddClass() {
  fs::create_directories(root_ / "class" / "scsi_generic");
}

void FakeSysfs::AddNode(const std::string& name, const std::string& address, int type) {
  AddClass();
  fs::create_directories(root_ / "devices" / address);
  if (type >= 0) std::ofstream(root_ / "devices" / address / "type") << type << "\n";
  const fs::path dir = root_ / "class" / "scsi_generic" / name;
  fs::create_directories(dir);
  fs::create_directory_symlink(fs::path("../../../devices") / address, dir / "device");
}

void FakeSysfs::AddBrokenNode(const std::string& name) {
  AddClass();
  fs::create_directories(root_ / "class" / "scsi_generic" / name);
}

void FakeSysfs::SetBlockLimitKib(const std::string& address, long kib) {
  const fs::path queue = root_ / "devices" / address / "block" / "sr0" / "queue";
  fs::create_directories(queue);
  std::ofstream(queue / "max_hw_sectors_kb") << kib << "\n";
}

void FakeSysfs::SetHostMaxSectors(int host, long sectors) {
  const fs::path dir = root_ / "class" / "scsi_host" / ("host" + std::to_string(host));
  fs::create_directories(dir);
  std::ofstream(dir / "max_sectors") << sectors << "\n";
}

void FakeSysfs::AddBlock(const std::string& address, const std::string& name,
                         const std::string& pollMsecs) {
  const fs::path dir = root_ / "devices" / address / "block" / name;
  fs::create_directories(dir);
  std::ofstream(dir / "events_poll_msecs") << pollMsecs << "\n";
  fs::create_directories(root_ / "block");
  fs::create_directory_symlink(dir, root_ / "block" / name);
}

std::string FakeSysfs::PollMsecs(const std::string& name) const {
  std::string text;
  std::getline(std::ifstream(root_ / "block" / name / "events_poll_msecs"), text);
  return text;
}

int FakeSgSystem::Open(const std::string& path, bool exclusive) {
  auto it = nodes.find(path);
  if (it == nodes.end()) return -ENOENT;
  if (it->second.openError != 0) return -it->second.openError;
  // The sg driver: O_EXCL needs the device to be closed everywhere else, and
  // while it is held exclusively no other open succeeds (O_NONBLOCK: EBUSY).
  for (const auto& [fd, file] : open_) {
    if (file.path == path && (exclusive || file.exclusive)) return -EBUSY;
  }
  const int fd = nextFd_++;
  open_[fd] = OpenFile{path, exclusive};
  return fd;
}

void FakeSgSystem::Close(int fd) {
  open_.erase(fd);
  heldBlocks.erase(fd);
}

int FakeSgSystem::ReadAttribute(const std::string& path, std::string& text) {
  std::ifstream in(path);
  if (!in) return ENOENT;
  std::getline(in, text, '\0');
  return 0;
}

int FakeSgSystem::WriteAttribute(const std::string& path, const std::string& text) {
  if (auto it = refusedPaths.find(path); it != refusedPaths.end()) return it->second;
  if (!fs::exists(path)) return ENOENT;
  std::ofstream(path) << text;
  return 0;
}

int FakeSgSystem::Access(const std::string& path, bool /*write*/) {
  if (auto it = refusedPaths.find(path); it != refusedPaths.end()) return it->second;
  return fs::exists(path) || blocks.count(path) != 0 ? 0 : ENOENT;
}

int FakeSgSystem::OpenBlockExclusive(const std::string& path) {
  auto it = blocks.find(path);
  if (it == blocks.end()) return -ENOENT;
  if (it->second != 0) return -it->second;
  for (const auto& [fd, held] : heldBlocks) {
    if (held == path) return -EBUSY;
  }
  heldBlocks[nextFd_] = path;
  return nextFd_++;
}

int FakeSgSystem::GetScsiAddress(int fd, sg::ScsiAddress& address) {
  auto it = open_.find(fd);
  if (it == open_.end()) return EBADF;
  address = nodes.at(it->second.path).address;
  return 0;
}

sg::PassThroughResult FakeSgSystem::PassThrough(const sg::PassThroughRequest& request) {
  RecordedCall call;
  auto it = open_.find(request.fd);
  if (it == open_.end()) {
    sg::PassThroughResult bad;
    bad.submitResult = -EBADF;
    bad.osError = EBADF;
    return bad;
  }
  call.path = it->second.path;
  call.exclusive = it->second.exclusive;
  call.cdb.assign(request.cdb, request.cdb + request.cdbLength);
  call.direction = request.direction;
  call.length = request.length;
  call.timeoutSeconds = request.timeoutSeconds;
  call.waitMilliseconds = request.waitMilliseconds;
  if (request.direction == sg::DataDirection::kOut) {
    call.dataOut.assign(request.data, request.data + request.length);
  }
  calls.push_back(std::move(call));
  if (answers.empty()) return {};
  ScriptedAnswer answer = std::move(answers.front());
  answers.pop_front();
  if (request.direction == sg::DataDirection::kIn && !answer.dataIn.empty()) {
    std::memcpy(request.data, answer.dataIn.data(),
                std::min<std::size_t>(answer.dataIn.size(), request.length));
  }
  const std::size_t senseCount =
      std::min<std::size_t>(answer.sense.size(), static_cast<std::size_t>(request.senseCapacity));
  if (senseCount > 0) std::memcpy(request.sense, answer.sense.data(), senseCount);
  if (answer.result.senseLength == 0) answer.result.senseLength = static_cast<int>(senseCount);
  return answer.result;
}

long FakeSgSystem::MaxTransferBytes(int /*fd*/) {
  return maxTransfer;
}

int FakeSgSystem::ResetDevice(int fd) {
  auto it = open_.find(fd);
  if (it == open_.end()) return EBADF;
  resets.push_back(it->second.path);
  return 0;
}

std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::vector<std::uint8_t> sense(20, 0);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = 12;  // additional length
  sense[12] = asc;
  sense[13] = ascq;
  sense[16] = 0xA5;  // a sense-key specific byte, to see bytes 16 and 17 arrive
  sense[17] = 0x5A;
  sense[18] = 0xEE;  // beyond the 18 bytes asked for
  sense[19] = 0xEE;
  return sense;
}

std::vector<std::uint8_t> DescriptorSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return {0x72, key, asc, ascq, 0, 0, 0, 0};
}

}  // namespace sgtest
