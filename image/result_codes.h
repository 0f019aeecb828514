// The loader's result code and the table of messages shown for it.
#pragma once

#include <cstdint>

// Index into ResultMessages, 0 to 17.
using ResultCode = std::uint8_t;

// Number of entries in ResultMessages.
inline constexpr int kResultCodeCount = 18;

// Codes the image loader sets.
inline constexpr ResultCode kResultNoError = 0;
inline constexpr ResultCode kResultCannotOpen = 4;
inline constexpr ResultCode kResultCanceledByUser = 14;  // "Download canceled by user..."
inline constexpr ResultCode kResultDamaged = 15;
inline constexpr ResultCode kResultAddressOverflow = 16;

// The outcome of the last image load: 0 at program start, then whatever the last
// LoadHexImage left (0 success, 4 file not readable, 15 damaged record, 16 address
// overflow). Nothing else changes it; plain global, user-interface thread only.
extern ResultCode g_resultCode;

// One NUL-terminated message per code; ResultMessages[g_resultCode] is the status text
// of a failed load. Every entry is non-empty.
extern const char* const ResultMessages[kResultCodeCount];

// The status text for an image file that loaded but stored no data byte at
// all (no data record): it is never sent, since it would erase the drive's
// firmware. Not a result code: the loader succeeded; the caller refuses.
inline constexpr const char* kTextNoFirmwareData = "HEX file holds no firmware data!";

// The status text for an image file that no longer builds the image the
// user confirmed (it changed between the question and the download).
inline constexpr const char* kTextImageChanged = "HEX file changed after it was confirmed!";

// The status text for an image that is not the one --expect-sha256 or
// --expect-checksum pinned.
inline constexpr const char* kTextNotExpected = "Not the expected image: nothing sent";
