// The real system calls behind the SCSI generic provider.
#include "transports/linux/sg_system.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace sg {

std::string FormatAddress(const ScsiAddress& address) {
  return std::to_string(address.host) + ":" + std::to_string(address.channel) + ":" +
         std::to_string(address.target) + ":" + std::to_string(address.lun);
}

namespace {

// A call interrupted by a signal is repeated, but not forever.
constexpr int kInterruptRetries = 16;

class LinuxSgSystem final : public SgSystem {
 public:
  int Open(const std::string& path, bool exclusive) override {
    int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
    if (exclusive) flags |= O_EXCL;
    for (int attempt = 0;; ++attempt) {
      const int fd = ::open(path.c_str(), flags);
      if (fd >= 0) return fd;
      if (errno != EINTR || attempt >= kInterruptRetries) return -errno;
    }
  }

  void Close(int fd) override {
    if (fd >= 0) ::close(fd);
  }

  int GetScsiAddress(int fd, ScsiAddress& address) override {
    sg_scsi_id id{};
    if (::ioctl(fd, SG_GET_SCSI_ID, &id) != 0) return errno;
    address = ScsiAddress{id.host_no, id.channel, id.scsi_id, id.lun};
    return 0;
  }

  // The sg driver's version 3 interface, used asynchronously: the request
  // is written to the descriptor, the answer is awaited with poll() against
  // the program's own deadline, then read. A synchronous SG_IO call cannot
  // be given up: with a host that keeps answering "busy" the kernel requeues
  // the command and the call stays blocked well past its timeout. The sg
  // driver copies the data out at write() and the data in at read(), so a
  // command given up on never writes into the caller's buffer later.
  PassThroughResult PassThrough(const PassThroughRequest& request) override {
    PassThroughResult result;
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = request.direction == DataDirection::kIn    ? SG_DXFER_FROM_DEV
                             : request.direction == DataDirection::kOut ? SG_DXFER_TO_DEV
                                                                        : SG_DXFER_NONE;
    header.cmd_len = static_cast<unsigned char>(request.cdbLength);
    header.mx_sb_len = static_cast<unsigned char>(std::min(request.senseCapacity, 255));
    header.dxfer_len = request.direction == DataDirection::kNone ? 0 : request.length;
    header.dxferp = request.direction == DataDirection::kNone ? nullptr : request.data;
    header.cmdp = const_cast<unsigned char*>(request.cdb);
    header.sbp = request.sense;
    const long long timeoutMs = static_cast<long long>(request.timeoutSeconds) * 1000;
    header.timeout = static_cast<unsigned>(std::min<long long>(timeoutMs, 0x7FFFFFFF));
    const auto wait = std::chrono::milliseconds(
        request.waitMilliseconds > 0 ? request.waitMilliseconds : timeoutMs);

    for (int attempt = 0;; ++attempt) {
      if (::write(request.fd, &header, sizeof header) == static_cast<ssize_t>(sizeof header)) break;
      if (errno == EINTR && attempt < kInterruptRetries) continue;
      // Not handed over (EAGAIN: the driver's queue is full, EDOM: too many
      // commands outstanding, ENODEV: gone): the device got nothing.
      result.submitResult = -errno;
      result.osError = errno;
      return result;
    }

    // From here on the command is the kernel's: only its answer, or the
    // deadline, ends the wait. A signal does not.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        result.abandoned = true;
        return result;
      }
      pollfd poller{request.fd, POLLIN, 0};
      const int ready =
          ::poll(&poller, 1, static_cast<int>(std::min<long long>(left.count() + 1, 60000)));
      if (ready < 0 && errno != EINTR) {
        result.submitResult = -errno;
        result.osError = errno;
        result.abandoned = true;  // its answer may still come: the descriptor is spent
        return result;
      }
      if (ready <= 0) continue;
      const ssize_t got = ::read(request.fd, &header, sizeof header);
      if (got == static_cast<ssize_t>(sizeof header)) break;
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      // An error with no answer, or a node that is no sg device (a short or
      // empty read): nothing says that the command ran.
      result.osError = got < 0 ? errno : EIO;
      result.submitResult = -result.osError;
      return result;
    }
    // A command the driver itself refused comes back with its errno in info.
    result.hostStatus = header.host_status & 0xFF;
    result.driverStatus = header.driver_status & 0xFF;
    result.scsiStatus = header.status & 0xFF;
    result.senseLength = header.sb_len_wr;
    result.residual = header.resid;
    return result;
  }

  long MaxTransferBytes(int fd) override {
    // The sg driver answers BLKSECTGET with the queue's transfer limit in bytes.
    int bytes = 0;
    if (::ioctl(fd, BLKSECTGET, &bytes) != 0 || bytes <= 0) return -1;
    return bytes;
  }

  int ResetDevice(int fd) override {
    int what = SG_SCSI_RESET_DEVICE;
    for (int attempt = 0;; ++attempt) {
      if (::ioctl(fd, SG_SCSI_RESET, &what) == 0) return 0;
      if (errno != EINTR || attempt >= kInterruptRetries) return errno;
    }
  }

  int ReadAttribute(const std::string& path, std::string& text) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buffer[64];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    const int error = got < 0 ? errno : 0;
    ::close(fd);
    if (got >= 0) text.assign(buffer, static_cast<std::size_t>(got));
    return error;
  }

  int WriteAttribute(const std::string& path, const std::string& text) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const ssize_t written = ::write(fd, text.data(), text.size());
    const int error = written < 0 ? errno : written == static_cast<ssize_t>(text.size()) ? 0 : EIO;
    ::close(fd);
    return error;
  }

  int Access(const std::string& path, bool write) override {
    return ::faccessat(AT_FDCWD, path.c_str(), write ? W_OK : R_OK, AT_EACCESS) == 0 ? 0 : errno;
  }

  int OpenBlockExclusive(const std::string& path) override {
    // Never for writing: closing a block device written to makes udev probe
    // the drive again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }
};

}  // namespace

std::unique_ptr<SgSystem> CreateLinuxSgSystem() {
  return std::make_unique<LinuxSgSystem>();
}

}  // namespace sg
