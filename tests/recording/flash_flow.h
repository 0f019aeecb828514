// The drive commands of a whole flashing session, sent through AspiDevice
// and whichever provider is installed: the INQUIRY sweep over every adapter
// and target, the tray, the download command with the image, and the
// verification INQUIRY (up to four tries with a settle wait before each).
// Lets the recording and replay tests drive the providers in-process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct FlowOutcome {
  bool available = false;  // the service reported adapters
  int accepted = 0;        // drives of the model found by the sweep
  int adapter = -1;
  int target = -1;
  std::string model;
  std::string revisionBefore;
  bool downloadOk = false;
  int verifyAttempts = 0;
  bool verified = false;
  std::string revisionAfter;
};

// `image`: 65536 bytes. `settle` runs before each verification INQUIRY.
FlowOutcome RunFlashFlow(const std::uint8_t* image, const std::function<void()>& settle);

// The tests' emulated bus: the drive (busy long enough after the download
// that the first verification attempt fails), a disk and another CD-ROM drive.
inline constexpr const char* kSessionLayout = "0:0=drive+busy=2500,0:1=disk,1:2=cdrom";
// Time the flow lets pass before each verification attempt.
inline constexpr std::uint32_t kSessionSettleMs = 2000;
