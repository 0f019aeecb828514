#include "image/regular_file.h"

#include <sys/stat.h>

#include <cerrno>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

std::FILE* OpenRegularFile(const char* path, bool forWriting, int& error, std::uint64_t* size) {
  error = 0;
  if (path == nullptr) {
    error = ENOENT;
    return nullptr;
  }
#ifdef _WIN32
  // No pipe or device can stand behind a file name here that a plain check
  // would miss; checked by name, then opened.
  struct _stat64 info;
  if (_stat64(path, &info) != 0) {
    error = errno;
    return nullptr;
  }
  if ((info.st_mode & _S_IFMT) != _S_IFREG) return nullptr;
  std::FILE* file = std::fopen(path, forWriting ? "r+b" : "rb");
  if (file == nullptr) error = errno;
  if (file != nullptr && size != nullptr) *size = static_cast<std::uint64_t>(info.st_size);
  return file;
#else
  const int fd = open(path, (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat info {};
  const bool known = fstat(fd, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    error = known ? 0 : errno;  // 0: a pipe, a device, a folder
    close(fd);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  std::FILE* file = nullptr;
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
      (file = fdopen(fd, forWriting ? "r+b" : "rb")) == nullptr) {
    error = errno;
    close(fd);
    return nullptr;
  }
  if (size != nullptr) *size = static_cast<std::uint64_t>(info.st_size);
  return file;
#endif
}
