#include "transports/recording/session_format.h"

#include <algorithm>
#include <cstring>

#include "image/sha256.h"

namespace recording {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* DirectionName(aspi::BYTE flags) {
  const bool in = (flags & SRB_DIR_IN) != 0;
  const bool out = (flags & SRB_DIR_OUT) != 0;
  if (in && out) return "both";
  if (in) return "in";
  if (out) return "out";
  return "none";
}

// The request fields in the order a reader looks for them.
constexpr const char* kRequestFields[] = {
    "ha",        "target",          "lun",           "direction", "cdb", "length",
    "sense_len", "data_out_sha256", "residual_count"};

}  // namespace

bool IsHeaderLine(std::string_view line) {
  const nlohmann::ordered_json value = nlohmann::ordered_json::parse(line, nullptr, false);
  if (value.is_discarded() || !value.is_object()) return false;
  const auto record = value.find("record");
  const auto format = value.find("format");
  return record != value.end() && *record == "header" && format != value.end() &&
         *format == kFormatName;
}

std::string HexEncode(const std::uint8_t* data, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0x0F];
  }
  return text;
}

bool HexDecode(std::string_view text, std::vector<std::uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

const std::uint8_t* SenseBytes(const SRB_ExecSCSICmd& srb) {
  return reinterpret_cast<const std::uint8_t*>(&srb) + offsetof(SRB_ExecSCSICmd, SenseArea);
}

std::uint8_t* SenseBytes(SRB_ExecSCSICmd& srb) {
  return reinterpret_cast<std::uint8_t*>(&srb) + offsetof(SRB_ExecSCSICmd, SenseArea);
}

nlohmann::ordered_json DescribeExecRequest(const SRB_ExecSCSICmd& srb) {
  nlohmann::ordered_json request;
  request["ha"] = srb.SRB_HaId;
  request["target"] = srb.SRB_Target;
  request["lun"] = srb.SRB_Lun;
  request["direction"] = DirectionName(srb.SRB_Flags);
  const std::size_t cdbLength = std::min<std::size_t>(srb.SRB_CDBLen, sizeof srb.CDBByte);
  request["cdb"] = HexEncode(srb.CDBByte, cdbLength);
  const std::uint32_t length = srb.SRB_BufLen;  // a copy: the field is not aligned
  request["length"] = length;
  request["sense_len"] = srb.SRB_SenseLen;
  const bool out = (srb.SRB_Flags & SRB_DIR_OUT) != 0 && (srb.SRB_Flags & SRB_DIR_IN) == 0;
  if (out && srb.SRB_BufPointer != nullptr) {
    request["data_out_sha256"] = Sha256Hex(srb.SRB_BufPointer, length);
  } else {
    request["data_out_sha256"] = nullptr;
  }
  request["residual_count"] = (srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0;
  return request;
}

std::string DescribeDifferences(const nlohmann::ordered_json& sent,
                                const nlohmann::ordered_json& recorded) {
  std::string text;
  for (const char* field : kRequestFields) {
    const nlohmann::ordered_json mine =
        sent.contains(field) ? sent[field] : nlohmann::ordered_json();
    const nlohmann::ordered_json theirs =
        recorded.contains(field) ? recorded[field] : nlohmann::ordered_json();
    if (mine == theirs) continue;
    if (!text.empty()) text += "; ";
    text += std::string(field) + ": sent " + mine.dump() + ", recorded " + theirs.dump();
  }
  return text;
}

}  // namespace recording
