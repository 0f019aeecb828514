#include "transports/emulated/state_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "image/atomic_file.h"
#include "image/regular_file.h"

namespace emulated {

namespace {

constexpr std::size_t kImageSize = 65536;
// A revision of at most 4 characters and its line end (CR LF at most), with
// room to spare; anything longer is no revision file.
constexpr std::size_t kRevisionFileBytes = 16;

// Holds the lock of one drive's folder: shared while its files are read,
// exclusive while they are replaced, so that a reader never sees the firmware
// of one run with the revision of another, and two runs saving at once save
// one after the other.
class FolderLock {
 public:
  FolderLock(const std::filesystem::path& folder, bool exclusive) {
#ifndef _WIN32
    const std::filesystem::path name = folder / ".lock";
    fd_ = open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    // A reader may lie in a folder it cannot write to; then nobody else
    // who could not write there either can be saving.
    if (fd_ < 0 && !exclusive) fd_ = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0 && !exclusive && (errno == ENOENT || errno == EACCES)) return;
    if (fd_ < 0) {
      error_ = "cannot lock " + name.string() + ": " + std::strerror(errno);
      return;
    }
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno == EINTR) continue;
      error_ = "cannot lock " + name.string() + ": " + std::strerror(errno);
      break;
    }
#else
    (void)folder;
    (void)exclusive;
#endif
  }
  ~FolderLock() {
#ifndef _WIN32
    if (fd_ >= 0) close(fd_);  // releases the lock
#endif
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  // Empty once the lock is held.
  const std::string& Error() const {
    return error_;
  }

 private:
  int fd_ = -1;
  std::string error_;
};

// Reads a file of at most `limit` bytes. Only a regular file, checked on
// what was opened (a pipe or a folder in its place is refused, never waited
// on), and only one no larger than what the drive keeps: a huge or sparse
// file is refused by its size before anything is read.
bool ReadWholeFile(const std::filesystem::path& path, std::size_t limit,
                   std::vector<std::uint8_t>& bytes, std::string& error) {
  int failure = 0;
  std::uint64_t size = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      OpenRegularFile(path.string().c_str(), false, failure, &size), &std::fclose);
  if (!file) {
    error = "cannot read " + path.string() + ": " +
            (failure != 0 ? std::strerror(failure) : "not a regular file");
    return false;
  }
  if (size > limit) {
    error = path.string() + " holds " + std::to_string(size) + " bytes, more than the " +
            std::to_string(limit) + " the emulated drive keeps there";
    return false;
  }
  bytes.resize(limit + 1);  // one more: a file that grew is found out
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
  if (std::ferror(file.get()) || bytes.size() > limit) {
    error = "cannot read " + path.string() + (bytes.size() > limit ? ": it grew while read" : "");
    return false;
  }
  return true;
}

}  // namespace

std::filesystem::path DriveStateFolder(const std::filesystem::path& dir, unsigned adapter,
                                       unsigned target) {
  return dir / (std::to_string(adapter) + "-" + std::to_string(target));
}

bool WriteFileAtomically(const std::filesystem::path& path, const void* data, std::size_t size,
                         std::string& error) {
  std::string reason;
  if (::WriteFileAtomically(path.string().c_str(), data, size, reason)) return true;
  error = "cannot create or replace " + path.string() + ": " + reason;
  return false;
}

bool LoadDriveState(const std::filesystem::path& folder, StoredDriveState& state,
                    std::string& error) {
  state = StoredDriveState{};
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return true;  // nothing kept yet
  const FolderLock lock(folder, false);
  if (!lock.Error().empty()) {
    error = lock.Error();
    return false;
  }
  const std::filesystem::path firmwarePath = folder / "firmware.bin";
  if (std::filesystem::exists(firmwarePath, ec)) {
    if (!ReadWholeFile(firmwarePath, kImageSize, state.firmware, error)) return false;
    if (state.firmware.size() != kImageSize) {
      error = firmwarePath.string() + " holds " + std::to_string(state.firmware.size()) +
              " bytes, expected 65536";
      return false;
    }
  }
  const std::filesystem::path revisionPath = folder / "revision";
  if (std::filesystem::exists(revisionPath, ec)) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(revisionPath, kRevisionFileBytes, bytes, error)) return false;
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    bool valid = !text.empty() && text.size() <= 4;
    for (char c : text) valid = valid && c >= 0x20 && c <= 0x7E;
    if (!valid) {
      error = revisionPath.string() + " does not hold a revision of 1 to 4 printable characters";
      return false;
    }
    state.revision = text;
  }
  return true;
}

bool SaveDriveState(const std::filesystem::path& folder, const std::string& revision,
                    const std::vector<std::uint8_t>& firmware, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  const FolderLock lock(folder, true);
  if (!lock.Error().empty()) {
    error = lock.Error();
    return false;
  }
  // The image first: a revision never names firmware that is not on disk.
  if (!WriteFileAtomically(folder / "firmware.bin", firmware.data(), firmware.size(), error)) {
    return false;
  }
  const std::string line = revision + "\n";
  return WriteFileAtomically(folder / "revision", line.data(), line.size(), error);
}

}  // namespace emulated
