// One emulated device on the bus: its INQUIRY data, the commands it knows and
// the faults it was told to show. The bus hands it each command and applies
// the answer to the request block.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transports/emulated/command_log.h"

enum class DeviceKind : std::uint8_t {
  kDrive,      // the XPM-3177K: CD/DVD device that takes the download command
  kCdrom,      // a CD/DVD drive of another model
  kDisk,       // a hard disk (device type 0)
  kQ1Cd,       // the XPM-3177K strings but peripheral qualifier 1 (byte 0 = 0x25)
  kDisk3177k,  // a hard disk whose product identification ends in "3177K"
};

enum class FaultKind : std::uint8_t {
  kSense,              // fails with CHECK CONDITION and sense data
  kError,              // fails with SS_ERR and no sense data
  kPendingSense,       // writes sense data while SRB_Status stays SS_PENDING
  kHang,               // never completes (SS_PENDING until aborted)
  kSlow,               // completes on another thread after the delay
  kShortInquiry,       // INQUIRY returns only `inquiryBytes` bytes
  kRefuseDownload,     // the download command fails (HARDWARE ERROR, write error)
  kRefuseImage,        // the image is refused before it is written (ILLEGAL REQUEST 26/00)
  kHangAfterDownload,  // after a good download no command completes any more
  kUnitAttention,      // holds a unit attention (6/29/00, power on) for the first command
                       // of its scope other than INQUIRY, which is then not performed
  kLocked,             // the door is locked: opening the tray fails with 5/53/02
  kBecomingReady,      // answers every command with NOT READY, becoming ready (2/04/01)
                       // for `slowDelayMs` after its first command
};

// Which commands a fault affects.
enum class FaultScope : std::uint8_t { kAll, kInquiry, kTray, kDownload };

struct Fault {
  FaultKind kind;
  FaultScope scope = FaultScope::kAll;
};

inline constexpr std::uint32_t kDefaultBusyMs = 1500;
inline constexpr std::uint32_t kDefaultSlowDelayMs = 100;
inline constexpr std::uint32_t kDefaultShortInquiryBytes = 20;

struct DeviceOptions {
  DeviceKind kind = DeviceKind::kDrive;
  std::string revision;  // 1 to 4 characters; empty: the kind's own ("1.00" for the drive)
  std::uint32_t busyMs = kDefaultBusyMs;
  std::uint32_t slowDelayMs = kDefaultSlowDelayMs;
  std::uint32_t inquiryBytes = kDefaultShortInquiryBytes;
  std::vector<Fault> faults;
  // The vendor and product text (24 characters at most) INQUIRY reports
  // once the drive holds a downloaded image, as a firmware that changes the
  // drive's identity would; empty: the kind's own.
  std::string modelAfterDownload;
};

// What the device made of a command; the bus writes it to the request block.
struct DeviceResponse {
  std::uint8_t status = SS_COMP;
  std::uint8_t haStat = HASTAT_OK;
  std::uint8_t targStat = STATUS_GOOD;
  std::vector<std::uint8_t> sense;   // fixed-format sense data, empty when none
  std::vector<std::uint8_t> dataIn;  // bytes for the buffer
  Completion completion = Completion::kImmediate;
  std::uint32_t delayMs = 0;  // for Completion::kLater
  bool flashed = false;       // a download was taken
};

struct DeviceRequest {
  const std::uint8_t* cdb;  // 16 bytes, zero beyond cdbLength
  std::uint8_t cdbLength;
  std::uint8_t flags;
  std::uint32_t transferLength;
  const std::uint8_t* buffer;  // SRB_BufPointer
};

// The revision a drive reports after taking `image` (65536 bytes): the four
// bytes at 0xFEF0 when all are printable ASCII, else the four upper-case hex
// digits of the image's 16-bit byte sum.
std::string RevisionFromImage(const std::uint8_t* image);

// 16-bit sum of the 65536 image bytes.
std::uint16_t ImageByteSum(const std::uint8_t* image);

// Fixed-format sense data, 18 bytes.
std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

class EmulatedDevice {
 public:
  EmulatedDevice(const DeviceOptions& options, std::function<std::uint32_t()> clock);

  DeviceResponse Execute(const DeviceRequest& request);

  DeviceKind Kind() const { return options_.kind; }
  const DeviceOptions& Options() const { return options_; }
  // The four revision characters as INQUIRY reports them (blank padded).
  const std::string& Revision() const { return revision_; }
  // What a system that found the device keeps of it without asking again
  // (Linux's sysfs): the peripheral byte and the vendor and product
  // identification, trailing blanks removed.
  std::uint8_t Peripheral() const;
  std::string VendorAndProduct() const;
  bool TrayOpen() const { return trayOpen_; }
  int TrayOpenCount() const { return trayOpenCount_; }
  int DownloadCount() const { return downloadCount_; }
  // The 65536 bytes rebuilt from the last good download (or restored state);
  // empty when the drive was never flashed.
  const std::vector<std::uint8_t>& Firmware() const { return firmware_; }
  // True while the drive reprograms itself after a download.
  bool Busy();
  bool Hung() const { return hung_; }
  // True while a becoming-ready device is not ready yet (its first command
  // starts the time).
  bool BecomingReady();

  void RestoreState(const std::string& revision, std::vector<std::uint8_t> firmware);
  void SetClock(std::function<std::uint32_t()> clock) { clock_ = std::move(clock); }

  // Every command this device received, in order.
  const std::vector<LoggedCommand>& Log() const { return log_; }
  void AppendLog(const LoggedCommand& entry) { log_.push_back(entry); }
  void ClearLog() { log_.clear(); }

 private:
  const Fault* FindFault(FaultKind kind, std::uint8_t opcode) const;
  DeviceResponse Inquiry(const DeviceRequest& request) const;
  DeviceResponse StartStopUnit(const DeviceRequest& request);
  DeviceResponse Download(const DeviceRequest& request);
  DeviceResponse Dispatch(const DeviceRequest& request);
  bool IsCd() const;

  DeviceOptions options_;
  std::function<std::uint32_t()> clock_;
  std::string revision_;
  std::vector<std::uint8_t> firmware_;
  bool trayOpen_ = false;
  int trayOpenCount_ = 0;
  int downloadCount_ = 0;
  bool busy_ = false;
  std::uint32_t busySince_ = 0;
  bool hung_ = false;
  bool unitAttentionReported_ = false;
  bool asked_ = false;  // a command came: a becoming-ready device counts from it
  std::uint32_t firstAskedAt_ = 0;
  std::vector<LoggedCommand> log_;
};

// The name used in layouts ("drive", "cdrom", ...), and back.
const char* DeviceKindName(DeviceKind kind);
bool DeviceKindFromName(std::string_view name, DeviceKind& kind);
