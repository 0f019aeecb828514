#include "image/atomic_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int OpenNew(const std::string& name) {
  return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const unsigned char* data, std::size_t size) {
  const unsigned int chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
  return _write(fd, data, chunk);
}
int SyncFile(int fd) {
  return _commit(fd);
}
int CloseFile(int fd) {
  return _close(fd);
}
int ProcessId() {
  return _getpid();
}
bool ReplaceFile(const std::string& from, const char* to, std::string& error) {
  if (MoveFileExA(from.c_str(), to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  error = "cannot replace the file (Windows error " + std::to_string(GetLastError()) + ")";
  return false;
}
void SyncDirectory(const std::string&) {}
bool IsOtherThanAFile(const char* path) {
  struct _stat info;
  return _stat(path, &info) == 0 && (info.st_mode & _S_IFMT) != _S_IFREG;
}
constexpr char kSeparators[] = "\\/:";
#else
int OpenNew(const std::string& name) {
  // O_EXCL: never an existing file, nor the target of a link planted there.
  return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}
long WriteSome(int fd, const unsigned char* data, std::size_t size) {
  return static_cast<long>(write(fd, data, size));
}
int SyncFile(int fd) {
  return fsync(fd);
}
int CloseFile(int fd) {
  return close(fd);
}
int ProcessId() {
  return static_cast<int>(getpid());
}
bool ReplaceFile(const std::string& from, const char* to, std::string& error) {
  if (std::rename(from.c_str(), to) == 0) return true;
  error = std::strerror(errno);
  return false;
}
// Makes the rename itself durable; a failure here loses nothing already written.
void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}
// True when `path` names something that exists and is not a regular file (a device,
// a pipe, a directory, ...). Renaming a new file over it would replace that thing.
bool IsOtherThanAFile(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && !S_ISREG(info.st_mode);
}
constexpr char kSeparators[] = "/";
#endif

// The part of `path` up to and including its last separator ("" for a bare name), so
// that a name put behind it lands in the same directory.
std::string DirectoryPrefix(const std::string& path) {
  const std::size_t cut = path.find_last_of(kSeparators);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// 64 random bits as hex digits: a temporary name nobody can plant beforehand.
std::string RandomPart() {
  static std::random_device device;
  std::uint64_t bits = (std::uint64_t{device()} << 32) ^ device();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return text;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const long written = WriteSome(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const char* path, const void* data, std::size_t size, std::string& error) {
  if (path == nullptr || *path == '\0') {
    error = "no file name";
    return false;
  }
  if (IsOtherThanAFile(path)) {
    error = "not a regular file";
    return false;
  }
  const std::string directory = DirectoryPrefix(path);
  const std::string prefix = directory + ".qtr5-save-" + std::to_string(ProcessId()) + "-";

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = prefix + RandomPart() + ".tmp";
    fd = OpenNew(temporary);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }

  const bool written = WriteAll(fd, static_cast<const unsigned char*>(data), size);
  int saved = errno;
  const bool synced = written && SyncFile(fd) == 0;
  if (written && !synced) saved = errno;
  const bool closed = CloseFile(fd) == 0;
  if (synced && !closed) saved = errno;
  if (!written || !synced || !closed) {
    std::remove(temporary.c_str());
    error = std::strerror(saved);
    return false;
  }
  if (!ReplaceFile(temporary, path, error)) {
    std::remove(temporary.c_str());
    return false;
  }
  SyncDirectory(directory.empty() ? "." : directory);
  return true;
}
