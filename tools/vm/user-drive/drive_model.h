// The drive of the model as the virtual machine tests need it: what it
// answers to each command that reaches it through the kernel's target layer.
// No Linux interface here, so the host tests can check how it judges a
// download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DriveOptions {
  std::uint32_t busyMs = 3000;  // reprogramming time after a good download
  bool refuse = false;          // refuse every download (HARDWARE ERROR, 0C/00)
  bool unitAttention = false;   // 6/29/00 on the first command that is not INQUIRY
};

struct DriveReply {
  std::uint8_t status = 0;           // SCSI status: 0 GOOD, 2 CHECK CONDITION
  std::vector<std::uint8_t> sense;   // fixed format, empty when GOOD
  std::vector<std::uint8_t> dataIn;  // bytes for the initiator
  bool downloadTaken = false;        // a download was accepted by this command
};

// The target layer sizes the command block by its operation code group, and
// 0x55 is a 10-byte group: bytes 10 and 11 of the download command (image
// bytes 0 and 1) never reach the drive.
inline constexpr std::size_t kCommandBytesSeen = 10;
inline constexpr std::size_t kDownloadDataLength = 65535;

class DriveModel {
 public:
  explicit DriveModel(const DriveOptions& options) : options_(options) {}

  // `cdb` holds kCommandBytesSeen bytes; `data` the data-out bytes (or the
  // room for data-in), `length` their count. `nowMs` is a monotonic clock.
  DriveReply Execute(const std::uint8_t* cdb, const std::uint8_t* data, std::size_t length,
                     std::uint64_t nowMs);

  const std::string& Revision() const { return revision_; }
  bool TrayOpen() const { return trayOpen_; }

 private:
  DriveReply Inquiry(const std::uint8_t* cdb, std::size_t length) const;
  DriveReply Download(const std::uint8_t* cdb, const std::uint8_t* data, std::size_t length,
                      std::uint64_t nowMs);

  DriveOptions options_;
  std::string revision_ = "1.00";
  bool trayOpen_ = false;
  bool attentionGiven_ = false;
  bool busy_ = false;
  std::uint64_t busyUntil_ = 0;
};

// Fixed-format sense data, 18 bytes.
std::vector<std::uint8_t> DriveSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
