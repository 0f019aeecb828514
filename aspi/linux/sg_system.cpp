// The real system calls behind the SCSI generic provider.
#include "aspi/linux/sg_system.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <scsi/sg_pt.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
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

// The library reports the driver status only in its text form
// ("Driver_status=0x08 [DRIVER_SENSE]"); its result category tells whether
// the status counts as an error.
int DriverStatusOf(const sg_pt_base* object, int category, int hostStatus) {
  char text[256] = {};
  get_scsi_pt_transport_err_str(object, sizeof text, text);
  if (const char* at = std::strstr(text, "Driver_status=0x")) {
    unsigned value = 0;
    if (std::sscanf(at + std::strlen("Driver_status=0x"), "%x", &value) == 1) {
      return static_cast<int>(value & 0xFF);
    }
  }
  if (category == SCSI_PT_RESULT_TRANSPORT_ERR && hostStatus == 0) return 0x04;  // DRIVER_ERROR
  return 0;
}

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

  PassThroughResult PassThrough(const PassThroughRequest& request) override {
    PassThroughResult result;
    sg_pt_base* object = construct_scsi_pt_obj_with_fd(request.fd, 0);
    if (object == nullptr) {
      result.submitResult = -ENOMEM;
      result.osError = ENOMEM;
      return result;
    }
    if (const int openError = get_scsi_pt_os_err(object); openError != 0) {
      destruct_scsi_pt_obj(object);
      result.submitResult = -openError;
      result.osError = openError;
      return result;
    }
    set_scsi_pt_cdb(object, request.cdb, request.cdbLength);
    set_scsi_pt_sense(object, request.sense, request.senseCapacity);
    if (request.direction == DataDirection::kIn) {
      set_scsi_pt_data_in(object, request.data, static_cast<int>(request.length));
    } else if (request.direction == DataDirection::kOut) {
      set_scsi_pt_data_out(object, request.data, static_cast<int>(request.length));
    }
    result.submitResult = do_scsi_pt(object, request.fd, request.timeoutSeconds, 0);
    result.osError = get_scsi_pt_os_err(object);
    if (result.submitResult < 0 && result.osError == 0) result.osError = -result.submitResult;
    if (result.submitResult == 0) {
      const int category = get_scsi_pt_result_category(object);
      result.hostStatus = get_scsi_pt_transport_err(object) & 0xFF;
      result.driverStatus = DriverStatusOf(object, category, result.hostStatus);
      result.scsiStatus = get_scsi_pt_status_response(object) & 0xFF;
      result.senseLength = get_scsi_pt_sense_len(object);
      result.residual = get_scsi_pt_resid(object);
    }
    destruct_scsi_pt_obj(object);
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
};

}  // namespace

std::unique_ptr<SgSystem> CreateLinuxSgSystem() {
  return std::make_unique<LinuxSgSystem>();
}

}  // namespace sg
