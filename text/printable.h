// Text that came from a device or a user, made safe to print on a terminal.
#pragma once

#include <string>
#include <string_view>

// Returns text with every control character (0x00-0x1F, 0x7F) and every byte
// above 0x7E written as \xNN, and the backslash as \\, so that a device
// cannot move the cursor, clear the screen or pass for another line.
std::string PrintableText(std::string_view text);

// Returns text for a JSON string: the bytes themselves, each byte 0x80-0xFF
// taken as the Latin-1 character of that code, so that the result is always
// valid UTF-8 whatever a device sent. Control characters are left for the
// JSON writer to escape.
std::string JsonText(std::string_view text);
