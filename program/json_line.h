// The program's JSON output (--json summaries, --list --json) as one line of
// text. Strings hold the bytes the program has: a file name as the system
// gave it, a sentence that quotes one. Where those bytes are valid UTF-8
// they are written as they are; every byte that is not part of a valid
// UTF-8 sequence is written as the escape \udcNN (NN its value, 80 to ff):
// the lone surrogate U+DC80 to U+DCFF, which no valid text holds, so a
// reader maps each one back to its byte (Python: surrogateescape,
// os.fsencode). The escapes JSON requires are written as nlohmann::json
// writes them.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

std::string JsonLine(const nlohmann::json& value);
std::string JsonLine(const nlohmann::ordered_json& value);

// One JSON string, quotes included, by the rules above.
std::string JsonString(std::string_view bytes);
