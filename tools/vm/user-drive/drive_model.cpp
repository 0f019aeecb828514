// What the drive answers: INQUIRY as the model, the tray, TEST UNIT READY,
// and the download command with its checksum, then a busy period while it
// "reprograms" itself and the image's revision afterwards.
#include "drive_model.h"

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

constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::size_t kInquiryLength = 36;
// Image bytes 2 to 65535 are data bytes 0 to 65533; byte 65534 is padding.
constexpr std::size_t kImageBytesInData = 65534;
constexpr std::size_t kRevisionInData = 0xFEF0 - 2;
// Image bytes 0 and 1 are cut off with the command block: together they add
// at most this much to the sum the command carries.
constexpr unsigned kMostOfTwoBytes = 2 * 0xFF;

DriveReply Refusal(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  DriveReply reply;
  reply.status = kCheckCondition;
  reply.sense = DriveSense(key, asc, ascq);
  return reply;
}

}  // namespace

std::vector<std::uint8_t> DriveSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::vector<std::uint8_t> sense(18, 0);
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = 10;
  sense[12] = asc;
  sense[13] = ascq;
  return sense;
}

DriveReply DriveModel::Execute(const std::uint8_t* cdb, const std::uint8_t* data,
                               std::size_t length, std::uint64_t nowMs) {
  const std::uint8_t opcode = cdb[0];
  if (busy_ && nowMs >= busyUntil_) busy_ = false;
  if (busy_ && opcode != kRequestSense) return Refusal(0x02, 0x04, 0x07);  // in progress
  if (options_.unitAttention && !attentionGiven_ && opcode != kInquiry && opcode != kRequestSense) {
    attentionGiven_ = true;
    return Refusal(0x06, 0x29, 0x00);  // power on or reset occurred
  }
  switch (opcode) {
    case kInquiry:
      return Inquiry(cdb, length);
    case kTestUnitReady:
      return Refusal(0x02, 0x3A, trayOpen_ ? 0x02 : 0x01);  // no medium
    case kRequestSense: {
      DriveReply reply;
      reply.dataIn = DriveSense(0, 0, 0);
      reply.dataIn.resize(std::min<std::size_t>({reply.dataIn.size(), cdb[4], length}));
      return reply;
    }
    case kStartStopUnit:
      if (cdb[4] & 0x02) trayOpen_ = (cdb[4] & 0x01) == 0;
      return DriveReply{};
    case kDownload:
      return Download(cdb, data, length, nowMs);
    default:
      return Refusal(0x05, 0x20, 0x00);  // invalid operation code
  }
}

DriveReply DriveModel::Inquiry(const std::uint8_t* cdb, std::size_t length) const {
  if (cdb[1] & 0x01) return Refusal(0x05, 0x24, 0x00);  // no VPD pages
  std::vector<std::uint8_t> answer(kInquiryLength, 0);
  answer[0] = 0x05;  // CD/DVD device
  answer[1] = 0x80;  // removable
  answer[3] = 0x21;  // response data format 1, ATAPI version 2
  answer[4] = kInquiryLength - 5;
  std::memcpy(&answer[8], "QTR5    CD-ROM XPM-3177K", 24);
  std::memcpy(&answer[32], revision_.data(), 4);
  const std::size_t wanted = (static_cast<std::size_t>(cdb[3]) << 8) | cdb[4];
  answer.resize(std::min({answer.size(), wanted, length}));
  DriveReply reply;
  reply.dataIn = std::move(answer);
  return reply;
}

DriveReply DriveModel::Download(const std::uint8_t* cdb, const std::uint8_t* data,
                                std::size_t length, std::uint64_t nowMs) {
  if (options_.refuse) return Refusal(0x04, 0x0C, 0x00);  // write error
  if (cdb[3] != 0x77 || cdb[7] != 0xFF || cdb[8] != 0xFE || cdb[9] != 0x02) {
    return Refusal(0x05, 0x24, 0x00);  // invalid field in CDB
  }
  if (length != kDownloadDataLength) return Refusal(0x05, 0x1A, 0x00);  // list length error
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < kImageBytesInData; ++i)
    sum = static_cast<std::uint16_t>(sum + data[i]);
  const std::uint16_t expected = static_cast<std::uint16_t>((cdb[5] << 8) | cdb[6]);
  if (static_cast<std::uint16_t>(expected - sum) > kMostOfTwoBytes) {
    return Refusal(0x05, 0x26, 0x00);  // invalid field in parameter list
  }
  const std::uint8_t* field = data + kRevisionInData;
  if (std::all_of(field, field + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; })) {
    revision_.assign(reinterpret_cast<const char*>(field), 4);
  } else {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(expected));
    revision_.assign(digits, 4);
  }
  busy_ = options_.busyMs > 0;
  busyUntil_ = nowMs + options_.busyMs;
  DriveReply reply;
  reply.downloadTaken = true;
  return reply;
}
