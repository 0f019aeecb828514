// The emulated devices: INQUIRY data, the tray, the download command and the
// faults each device can be told to show.
#include "transports/emulated/device_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "aspi/download_opcode.h"

namespace {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kRequestSense = 0x03;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kDownload = aspi::kDownloadOpcode;

constexpr std::uint32_t kImageSize = 65536;
constexpr std::uint32_t kDownloadDataLength = 65535;
constexpr std::uint32_t kRevisionAddress = 0xFEF0;
constexpr std::size_t kInquiryLength = 36;

// Sense keys and additional sense codes used below.
constexpr std::uint8_t kNotReady = 0x02;
constexpr std::uint8_t kHardwareError = 0x04;
constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr std::uint8_t kUnitAttentionKey = 0x06;

struct Identity {
  std::uint8_t peripheral;
  bool removable;
  const char* vendor;   // 8 characters
  const char* product;  // 16 characters
  const char* revision;
};

Identity IdentityOf(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::kDrive:
      return {0x05, true, "QTR5    ", "CD-ROM XPM-3177K", "1.00"};
    case DeviceKind::kCdrom:
      return {0x05, true, "QTR5    ", "CD-ROM XPM-2400B", "2.10"};
    case DeviceKind::kDisk:
      return {0x00, false, "QTR5    ", "HARD DISK HD-20G", "3.02"};
    case DeviceKind::kQ1Cd:
      return {0x25, true, "QTR5    ", "CD-ROM XPM-3177K", "1.00"};
    case DeviceKind::kDisk3177k:
      return {0x00, false, "QTR5    ", "HARD DISK  3177K", "1.00"};
  }
  return {0x1F, false, "        ", "                ", "    "};
}

std::string PadRevision(const std::string& revision) {
  std::string padded = revision.substr(0, 4);
  padded.resize(4, ' ');
  return padded;
}

bool ScopeMatches(FaultScope scope, std::uint8_t opcode) {
  switch (scope) {
    case FaultScope::kAll:
      return true;
    case FaultScope::kInquiry:
      return opcode == kInquiry;
    case FaultScope::kTray:
      return opcode == kStartStopUnit;
    case FaultScope::kDownload:
      return opcode == kDownload;
  }
  return false;
}

DeviceResponse CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  DeviceResponse response;
  response.status = SS_ERR;
  response.targStat = STATUS_CHKCOND;
  response.sense = FixedSense(key, asc, ascq);
  return response;
}

DeviceResponse AdapterError(std::uint8_t haStat) {
  DeviceResponse response;
  response.status = SS_ERR;
  response.haStat = haStat;
  return response;
}

bool DirectionIs(std::uint8_t flags, std::uint8_t wanted) {
  return (flags & (SRB_DIR_IN | SRB_DIR_OUT)) == wanted;
}

}  // namespace

std::uint16_t ImageByteSum(const std::uint8_t* image) {
  std::uint16_t sum = 0;
  for (std::uint32_t i = 0; i < kImageSize; ++i) sum = static_cast<std::uint16_t>(sum + image[i]);
  return sum;
}

std::string RevisionFromImage(const std::uint8_t* image) {
  const std::uint8_t* field = image + kRevisionAddress;
  if (std::all_of(field, field + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; })) {
    return std::string(reinterpret_cast<const char*>(field), 4);
  }
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(ImageByteSum(image)));
  return std::string(digits, 4);
}

std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::vector<std::uint8_t> sense(18, 0);
  sense[0] = 0x70;  // current error, fixed format
  sense[2] = key;
  sense[7] = 10;  // additional sense length
  sense[12] = asc;
  sense[13] = ascq;
  return sense;
}

const char* DeviceKindName(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::kDrive:
      return "drive";
    case DeviceKind::kCdrom:
      return "cdrom";
    case DeviceKind::kDisk:
      return "disk";
    case DeviceKind::kQ1Cd:
      return "q1cd";
    case DeviceKind::kDisk3177k:
      return "disk3177k";
  }
  return "?";
}

bool DeviceKindFromName(std::string_view name, DeviceKind& kind) {
  for (DeviceKind k : {DeviceKind::kDrive, DeviceKind::kCdrom, DeviceKind::kDisk, DeviceKind::kQ1Cd,
                       DeviceKind::kDisk3177k}) {
    if (name == DeviceKindName(k)) {
      kind = k;
      return true;
    }
  }
  return false;
}

EmulatedDevice::EmulatedDevice(const DeviceOptions& options, std::function<std::uint32_t()> clock)
    : options_(options), clock_(std::move(clock)) {
  revision_ =
      PadRevision(options.revision.empty() ? IdentityOf(options.kind).revision : options.revision);
}

void EmulatedDevice::RestoreState(const std::string& revision, std::vector<std::uint8_t> firmware) {
  if (!revision.empty()) revision_ = PadRevision(revision);
  firmware_ = std::move(firmware);
}

bool EmulatedDevice::IsCd() const {
  return options_.kind == DeviceKind::kDrive || options_.kind == DeviceKind::kCdrom;
}

std::uint8_t EmulatedDevice::Peripheral() const {
  return IdentityOf(options_.kind).peripheral;
}

std::string EmulatedDevice::VendorAndProduct() const {
  const Identity identity = IdentityOf(options_.kind);
  std::string text = std::string(identity.vendor) + identity.product;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool EmulatedDevice::BecomingReady() {
  if (FindFault(FaultKind::kBecomingReady, 0) == nullptr) return false;
  if (!asked_) {
    asked_ = true;
    firstAskedAt_ = clock_();
  }
  return clock_() - firstAskedAt_ < options_.slowDelayMs;
}

bool EmulatedDevice::Busy() {
  // Unsigned difference: a clock that wraps does not end or stretch the time.
  if (busy_ && clock_() - busySince_ >= options_.busyMs) busy_ = false;
  return busy_;
}

const Fault* EmulatedDevice::FindFault(FaultKind kind, std::uint8_t opcode) const {
  for (const Fault& fault : options_.faults) {
    if (fault.kind == kind && ScopeMatches(fault.scope, opcode)) return &fault;
  }
  return nullptr;
}

DeviceResponse EmulatedDevice::Execute(const DeviceRequest& request) {
  const std::uint8_t opcode = request.cdb[0];
  DeviceResponse response;
  if (hung_ || FindFault(FaultKind::kHang, opcode) != nullptr) {
    response.status = SS_PENDING;
    response.completion = Completion::kNever;
    return response;
  }
  if (FindFault(FaultKind::kPendingSense, opcode) != nullptr) {
    response = CheckCondition(kNotReady, 0x04, 0x01);  // becoming ready
    response.status = SS_PENDING;
    response.completion = Completion::kPendingSense;
    return response;
  }
  // A unit attention is reported once, to a command other than INQUIRY,
  // which the device then does not perform.
  if (!unitAttentionReported_ && opcode != kInquiry && opcode != kRequestSense &&
      FindFault(FaultKind::kUnitAttention, opcode) != nullptr) {
    unitAttentionReported_ = true;
    response = CheckCondition(kUnitAttentionKey, 0x29, 0x00);  // power on or reset occurred
  } else if (BecomingReady()) {
    response = CheckCondition(kNotReady, 0x04, 0x01);  // becoming ready
  } else if (FindFault(FaultKind::kSense, opcode) != nullptr) {
    response = CheckCondition(kHardwareError, 0x44, 0x00);  // internal target failure
  } else if (FindFault(FaultKind::kError, opcode) != nullptr) {
    response = AdapterError(HASTAT_PHASE_ERR);
  } else {
    response = Dispatch(request);
  }
  if (FindFault(FaultKind::kSlow, opcode) != nullptr) {
    response.completion = Completion::kLater;
    response.delayMs = options_.slowDelayMs;
  }
  return response;
}

DeviceResponse EmulatedDevice::Dispatch(const DeviceRequest& request) {
  const std::uint8_t opcode = request.cdb[0];
  // A logical unit that is not connected answers INQUIRY and nothing else.
  if (options_.kind == DeviceKind::kQ1Cd && opcode != kInquiry) {
    return CheckCondition(kIllegalRequest, 0x25, 0x00);
  }
  if (Busy() && opcode != kRequestSense) {
    return CheckCondition(kNotReady, 0x04, 0x07);  // operation in progress
  }
  switch (opcode) {
    case kInquiry:
      return Inquiry(request);
    case kTestUnitReady:
      if (IsCd()) return CheckCondition(kNotReady, 0x3A, trayOpen_ ? 0x02 : 0x01);
      return DeviceResponse{};
    case kRequestSense: {
      if (!DirectionIs(request.flags, SRB_DIR_IN) && !DirectionIs(request.flags, 0)) {
        return AdapterError(HASTAT_PHASE_ERR);
      }
      DeviceResponse response;
      response.dataIn = FixedSense(0, 0, 0);
      const std::uint32_t wanted = std::min<std::uint32_t>(request.cdb[4], request.transferLength);
      if (response.dataIn.size() > wanted) response.dataIn.resize(wanted);
      return response;
    }
    case kStartStopUnit:
      return StartStopUnit(request);
    case kDownload:
      if (options_.kind == DeviceKind::kDrive) return Download(request);
      // To any other device 0x55 is MODE SELECT(10), and this one is not valid.
      return CheckCondition(kIllegalRequest, 0x24, 0x00);
    default:
      return CheckCondition(kIllegalRequest, 0x20, 0x00);  // invalid operation code
  }
}

DeviceResponse EmulatedDevice::Inquiry(const DeviceRequest& request) const {
  if (request.cdbLength < 6) return CheckCondition(kIllegalRequest, 0x20, 0x00);
  if (request.cdb[1] & 0x01) return CheckCondition(kIllegalRequest, 0x24, 0x00);  // no VPD pages
  if (!DirectionIs(request.flags, SRB_DIR_IN) && !DirectionIs(request.flags, 0)) {
    return AdapterError(HASTAT_PHASE_ERR);
  }
  const Identity identity = IdentityOf(options_.kind);
  std::vector<std::uint8_t> data(kInquiryLength, 0);
  data[0] = identity.peripheral;
  data[1] = identity.removable ? 0x80 : 0x00;
  data[2] = 0x00;  // ATAPI devices report no SCSI version
  data[3] = 0x21;  // response data format 1, ATAPI version 2
  data[4] = static_cast<std::uint8_t>(kInquiryLength - 5);
  std::memcpy(&data[8], identity.vendor, 8);
  std::memcpy(&data[16], identity.product, 16);
  if (!firmware_.empty() && !options_.modelAfterDownload.empty()) {
    std::string model = options_.modelAfterDownload.substr(0, 24);
    model.resize(24, ' ');
    std::memcpy(&data[8], model.data(), 24);
  }
  std::memcpy(&data[32], revision_.data(), 4);

  std::uint32_t length = (static_cast<std::uint32_t>(request.cdb[3]) << 8) | request.cdb[4];
  length = std::min({length, request.transferLength, static_cast<std::uint32_t>(kInquiryLength)});
  if (FindFault(FaultKind::kShortInquiry, kInquiry) != nullptr) {
    length = std::min(length, options_.inquiryBytes);
  }
  data.resize(length);
  DeviceResponse response;
  response.dataIn = std::move(data);
  return response;
}

DeviceResponse EmulatedDevice::StartStopUnit(const DeviceRequest& request) {
  if (request.cdbLength < 6) return CheckCondition(kIllegalRequest, 0x20, 0x00);
  const bool loadEject = (request.cdb[4] & 0x02) != 0;
  const bool start = (request.cdb[4] & 0x01) != 0;
  if (loadEject && !start && FindFault(FaultKind::kLocked, kStartStopUnit) != nullptr) {
    return CheckCondition(kIllegalRequest, 0x53, 0x02);  // medium removal prevented
  }
  if (loadEject && IsCd()) {
    if (start) {
      trayOpen_ = false;
    } else {
      trayOpen_ = true;
      ++trayOpenCount_;
    }
  }
  return DeviceResponse{};
}

DeviceResponse EmulatedDevice::Download(const DeviceRequest& request) {
  const std::uint8_t* cdb = request.cdb;
  if (FindFault(FaultKind::kRefuseDownload, kDownload) != nullptr) {
    return CheckCondition(kHardwareError, 0x0C, 0x00);  // write error
  }
  if (FindFault(FaultKind::kRefuseImage, kDownload) != nullptr) {
    return CheckCondition(kIllegalRequest, 0x26, 0x00);  // as for a wrong checksum
  }
  if (cdb[3] != 0x77 || cdb[7] != 0xFF || cdb[8] != 0xFE || cdb[9] != 0x02) {
    return CheckCondition(kIllegalRequest, 0x24, 0x00);  // invalid field in CDB
  }
  if (!DirectionIs(request.flags, SRB_DIR_OUT)) return AdapterError(HASTAT_PHASE_ERR);
  if (request.transferLength != kDownloadDataLength) {
    return CheckCondition(kIllegalRequest, 0x1A, 0x00);  // parameter list length error
  }
  // The image: command bytes 10 and 11, then data bytes 0 to 65533.
  std::vector<std::uint8_t> image(kImageSize);
  image[0] = cdb[10];
  image[1] = cdb[11];
  std::memcpy(&image[2], request.buffer, kImageSize - 2);
  const std::uint16_t expected = static_cast<std::uint16_t>((cdb[5] << 8) | cdb[6]);
  if (ImageByteSum(image.data()) != expected) {
    return CheckCondition(kIllegalRequest, 0x26, 0x00);  // invalid field in parameter list
  }
  revision_ = PadRevision(RevisionFromImage(image.data()));
  firmware_ = std::move(image);
  ++downloadCount_;
  busy_ = true;
  busySince_ = clock_();
  if (FindFault(FaultKind::kHangAfterDownload, kDownload) != nullptr) hung_ = true;
  DeviceResponse response;
  response.flashed = true;
  return response;
}
