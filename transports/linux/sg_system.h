// The operating system calls the SCSI generic provider needs, behind one
// small interface: the real one goes through libsgutils2's pass-through layer
// and a few ioctls of the sg driver; tests put a scripted stand-in in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace sg {

// host:channel:target:lun of a SCSI device, as sysfs and SG_GET_SCSI_ID name it.
struct ScsiAddress {
  int host = -1;
  int channel = -1;
  int target = -1;
  int lun = -1;

  friend bool operator==(const ScsiAddress&, const ScsiAddress&) = default;
};

std::string FormatAddress(const ScsiAddress& address);  // "H:C:T:L"

enum class DataDirection { kNone, kIn, kOut };

// One command handed to the pass-through call.
struct PassThroughRequest {
  int fd = -1;
  const std::uint8_t* cdb = nullptr;
  int cdbLength = 0;
  DataDirection direction = DataDirection::kNone;
  std::uint8_t* data = nullptr;  // read from for kOut, written to for kIn
  std::uint32_t length = 0;
  std::uint8_t* sense = nullptr;  // room for senseCapacity bytes
  int senseCapacity = 0;
  int timeoutSeconds = 0;  // the kernel's timeout for the command
  // How long the program waits for the command's end, whatever the kernel
  // does with its own timeout (a host that answers "busy" keeps requeueing
  // the command past it); 0: timeoutSeconds.
  long long waitMilliseconds = 0;
};

// What the pass-through call reports, in the terms of the Linux sg driver.
struct PassThroughResult {
  // 0: the command was handed to the driver; negative: -errno of the call
  // itself; positive: a refusal of the pass-through layer (2 = timed out).
  int submitResult = 0;
  int osError = 0;       // errno reported for the command, 0 if none
  int hostStatus = 0;    // DID_* of the host adapter driver
  int driverStatus = 0;  // DRIVER_* of the mid level (DRIVER_SENSE = 0x08 is no error)
  int scsiStatus = 0;    // the status byte of the target
  int senseLength = 0;   // sense bytes written to the request's sense buffer
  int residual = 0;      // bytes requested but not transferred
  // The program stopped waiting: the command did not end within
  // waitMilliseconds and is still in the kernel, which may finish it later.
  bool abandoned = false;
};

// Linux host status values (DID_*) and driver status values (DRIVER_*).
inline constexpr int kDidOk = 0x00;
inline constexpr int kDidNoConnect = 0x01;
inline constexpr int kDidBusBusy = 0x02;
inline constexpr int kDidTimeOut = 0x03;
inline constexpr int kDidBadTarget = 0x04;
inline constexpr int kDidAbort = 0x05;
inline constexpr int kDidParity = 0x06;
inline constexpr int kDidError = 0x07;
inline constexpr int kDidReset = 0x08;
inline constexpr int kDriverTimeout = 0x06;
inline constexpr int kDriverSense = 0x08;
inline constexpr int kSubmitTimedOut = 2;  // SCSI_PT_DO_TIMEOUT

class SgSystem {
 public:
  virtual ~SgSystem() = default;
  // Opens a /dev/sgN node read-write and non-blocking, with O_EXCL when
  // `exclusive`. Returns the descriptor, or -errno.
  virtual int Open(const std::string& path, bool exclusive) = 0;
  virtual void Close(int fd) = 0;
  // The address the driver gives the open device (SG_GET_SCSI_ID); 0 or errno.
  virtual int GetScsiAddress(int fd, ScsiAddress& address) = 0;
  // Runs one command to its end, or until request.waitMilliseconds have
  // passed (result.abandoned): the command is then left in the kernel, and
  // the descriptor must be used for nothing else, since a late answer to it
  // could be taken for the answer to the next command.
  virtual PassThroughResult PassThrough(const PassThroughRequest& request) = 0;
  // The largest transfer the driver accepts on this descriptor in bytes,
  // or -1 when it cannot tell.
  virtual long MaxTransferBytes(int fd) = 0;
  // Resets the device (SG_SCSI_RESET with SG_SCSI_RESET_DEVICE); 0 or errno.
  virtual int ResetDevice(int fd) = 0;

  // The drive's block device and its sysfs attributes (see DriveGuard).
  // Reads a small attribute file; 0 or errno.
  virtual int ReadAttribute(const std::string& path, std::string& text) = 0;
  // Writes `text` to an attribute file in one write; 0 or errno.
  virtual int WriteAttribute(const std::string& path, const std::string& text) = 0;
  // Whether the program's effective rights allow writing (or reading) the
  // file, without opening it; 0 or errno.
  virtual int Access(const std::string& path, bool write) = 0;
  // Opens a block device read-only, non-blocking and exclusively (O_EXCL);
  // the descriptor (closed with Close) or -errno.
  virtual int OpenBlockExclusive(const std::string& path) = 0;
};

// The real calls: open(2), the sg driver's asynchronous interface (write the
// request, poll with the program's own deadline, read the answer), its ioctls.
std::unique_ptr<SgSystem> CreateLinuxSgSystem();

}  // namespace sg
