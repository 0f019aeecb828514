// The format of a recorded session: one JSON object per line. The first
// line is a header; every later line is one call of an entry point with its
// outcome:
//
//   {"record":"header","format":"qtr5-aspi-session","version":1,"provider":"sg",
//    "diagnostics":"..."}
//   {"record":"support_info","status":1,"adapters":2}
//   {"record":"exec","ha":0,"target":0,"lun":0,"direction":"in","flags":8,
//    "cdb":"120000002400000000000000","length":36,"sense_len":18,
//    "data_out_sha256":null,"return":1,"status":1,"ha_stat":0,"targ_stat":0,
//    "sense":"","data_in":"0580...","buf_len_after":null}
//   {"record":"abort","ha":0,"return":1,"status":1,"aborted_status":null}
//   {"record":"reset","ha":0,"target":0,"lun":0,"return":1,"status":1,
//    "ha_stat":0,"targ_stat":0}
//
// "cdb" holds SRB_CDBLen bytes; "data_out_sha256" is the SHA-256 of the
// SRB_BufLen bytes a data-out command sent; "data_in" the SRB_BufLen bytes
// the buffer held when the command completed well ("" for a command that
// failed: it brought back nothing the program uses); "sense" the SRB_SenseLen bytes
// from SenseArea on, or "" when none were written; "status" 0 (SS_PENDING)
// marks a command that had not ended when the recorder stopped waiting.
// "diagnostics" (optional) holds what the transport said, line by line,
// when it looked for devices. Any record may carry "messages": the lines the transport wrote for
// the user while the request ran, which a replay writes again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "aspi/wnaspi32.h"

namespace recording {

inline constexpr const char* kFormatName = "qtr5-aspi-session";
inline constexpr int kFormatVersion = 1;
// Put before every line a replay repeats from its recording ("diagnostics",
// "messages"), so that a recorded line never passes for one of this run.
inline constexpr const char* kReplayedPrefix = "replayed: ";

// Whether `line` (the first line of a file, without its line end) is the
// header of a recording of this program, of any version.
bool IsHeaderLine(std::string_view line);

std::string HexEncode(const std::uint8_t* data, std::size_t length);
// Two hex digits per byte, either case; false for anything else.
bool HexDecode(std::string_view text, std::vector<std::uint8_t>& bytes);

// The part of an exec record that describes what the program asked for;
// a replay compares exactly these fields.
nlohmann::ordered_json DescribeExecRequest(const SRB_ExecSCSICmd& srb);

// The fields of an exec request that differ between `sent` and `recorded`,
// as "field: sent X, recorded Y" phrases joined by "; ". Empty if none.
std::string DescribeDifferences(const nlohmann::ordered_json& sent,
                                const nlohmann::ordered_json& recorded);

// The SRB_SenseLen sense bytes from SenseArea on (the caller reserves room
// behind the block for them).
const std::uint8_t* SenseBytes(const SRB_ExecSCSICmd& srb);
std::uint8_t* SenseBytes(SRB_ExecSCSICmd& srb);

}  // namespace recording
