// Constants of the firmware download and its verification
// (DownloadApp::ReadImageFile and DownloadApp::DownloadFirmware).
#pragma once

#include <cstdint>

#include "platform/winapi.h"

// The download command (MODE SELECT(10) operation code, vendor use) as the
// template for every image: bytes 7 to 9 (FF FE 02) stay as they are; byte 3
// (0x77), 5 and 6 (the image's checksum, high byte first) and 10 and 11 (the
// image's first two bytes) are filled in for each download.
extern const std::uint8_t kDownloadTemplate[12];

// Bytes of the data phase: image bytes 2 to 65535, then byte 65534 again.
inline constexpr std::uint32_t kDownloadLength = 65535;
// How long the progress display runs after the command completed.
inline constexpr DWORD kProgressSpanMs = 4000;
// The busy picture changes once more than this has passed since the last change.
inline constexpr DWORD kPictureIntervalMs = 500;
// Time the drive gets to restart with its new firmware, after the progress
// display and between two verification attempts.
inline constexpr DWORD kSettleDelayMs = 2000;
// INQUIRY attempts of the verification.
inline constexpr int kInquiryAttempts = 4;
