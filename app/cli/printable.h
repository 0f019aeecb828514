// Text that came from a device or a user, made safe to print on a terminal.
#pragma once

#include <string>
#include <string_view>

// Returns text with every control character (0x00-0x1F, 0x7F) and every byte
// above 0x7E written as \xNN, and the backslash as \\, so that a device
// cannot move the cursor, clear the screen or pass for another line.
std::string PrintableText(std::string_view text);
