// The firmware download command and the timing around it: the command block
// built from the image, the progress display's pace, the settle delay and the
// verification's attempts (DownloadApp::DownloadFirmware runs them).
#pragma once

#include <cstdint>

// The download command (MODE SELECT(10) operation code, vendor use) as the
// template for every image: bytes 7 to 9 (FF FE 02) stay as they are; byte 3
// (0x77), 5 and 6 (the image's checksum, high byte first) and 10 and 11 (the
// image's first two bytes) are filled in for each download.
extern const std::uint8_t kDownloadTemplate[12];

// Bytes of the data phase: image bytes 2 to 65535, then byte 65534 again.
inline constexpr std::uint32_t kDownloadLength = 65535;
// How long the progress display runs after the command completed.
inline constexpr std::uint32_t kProgressSpanMs = 4000;
// The busy picture changes once more than this has passed since the last change.
inline constexpr std::uint32_t kPictureIntervalMs = 500;
// Time the drive gets to restart with its new firmware, after the progress
// display and between two verification attempts.
inline constexpr std::uint32_t kSettleDelayMs = 2000;
// INQUIRY attempts of the verification.
inline constexpr int kInquiryAttempts = 4;
// A drive still busy after those attempts (it answers not ready, a unit
// attention or BUSY) is asked again this often until the reprogramming
// window ends.
inline constexpr std::uint32_t kBusyInquiryIntervalMs = 3000;

// Fills the bytes of `commandBlock` (12 bytes, kDownloadTemplate copied in)
// that depend on the image: its 16-bit byte sum and its first two bytes, which
// travel in the command block rather than in the data phase.
void FillDownloadCommand(std::uint8_t* commandBlock, std::uint16_t checksum, std::uint8_t byte0,
                         std::uint8_t byte1);

// The progress display's percentage at tick `now` for a display that started
// at tick `start`. Tick differences are taken modulo 2^32, so a counter that
// wraps neither ends nor lengthens the display; the percentage is computed in
// 64 bits so that even a very late reading cannot wrap back below 100.
std::uint32_t ProgressPercent(std::uint32_t start, std::uint32_t now);

// The tick at which the display next has something new to show: the next
// whole percent after `percent`, or the picture change once more than the
// interval has passed since the picture last changed at tick `last`.
std::uint32_t NextProgressChange(std::uint32_t start, std::uint32_t last, std::uint32_t percent);
