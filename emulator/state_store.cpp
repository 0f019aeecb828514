#include "emulator/state_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kImageSize = 65536;

bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// After a rename the folder entry itself must reach the disk too.
void FlushFolder(const std::filesystem::path& folder) {
#ifndef _WIN32
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
#else
  (void)folder;
#endif
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
  // A folder in the file's place cannot be read; the stream library would
  // throw on the first read instead of failing.
  std::error_code kind;
  if (!std::filesystem::is_regular_file(path, kind)) {
    error = "cannot read " + path.string() + ": not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path.string();
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + path.string();
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
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) {
    error = "cannot create " + temporary.string() + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(data, 1, size, file) == size && FlushToDisk(file);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "cannot write " + temporary.string() + ": " + std::strerror(errno);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  std::error_code renameError;
  std::filesystem::rename(temporary, path, renameError);
  if (renameError) {
    error = "cannot replace " + path.string() + ": " + renameError.message();
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  FlushFolder(path.parent_path());
  return true;
}

bool LoadDriveState(const std::filesystem::path& folder, StoredDriveState& state,
                    std::string& error) {
  state = StoredDriveState{};
  std::error_code ec;
  const std::filesystem::path firmwarePath = folder / "firmware.bin";
  if (std::filesystem::exists(firmwarePath, ec)) {
    if (!ReadWholeFile(firmwarePath, state.firmware, error)) return false;
    if (state.firmware.size() != kImageSize) {
      error = firmwarePath.string() + " holds " + std::to_string(state.firmware.size()) +
              " bytes, expected 65536";
      return false;
    }
  }
  const std::filesystem::path revisionPath = folder / "revision";
  if (std::filesystem::exists(revisionPath, ec)) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(revisionPath, bytes, error)) return false;
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
  // The image first: a revision never names firmware that is not on disk.
  if (!WriteFileAtomically(folder / "firmware.bin", firmware.data(), firmware.size(), error)) {
    return false;
  }
  const std::string line = revision + "\n";
  return WriteFileAtomically(folder / "revision", line.data(), line.size(), error);
}
