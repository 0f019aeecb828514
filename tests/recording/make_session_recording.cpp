// Makes the shipped session recording: the whole flashing session of the
// sample image against the emulated drive, recorded as the program's
// --record option records a session with a real drive.
//
//   make_session_recording IMAGE.HEX OUTPUT.jsonl
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "aspi/aspi_provider.h"
#include "aspi/recording/recording_provider.h"
#include "emulator/emulated_bus.h"
#include "flash_flow.h"
#include "image/hex_loader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IMAGE.HEX OUTPUT.jsonl\n", argv[0]);
    return 2;
  }
  std::vector<std::uint8_t> image(kFirmwareImageSize + 4);
  if (!LoadHexImage(argv[1], image.data())) {
    std::fprintf(stderr, "%s: the image cannot be built\n", argv[1]);
    return 1;
  }
  std::string error;
  auto bus = EmulatedBus::FromLayout(kSessionLayout, error);
  if (!bus) {
    std::fprintf(stderr, "layout: %s\n", error.c_str());
    return 1;
  }
  std::uint32_t now = 0;
  bus->SetClock([&now] { return now; });
  auto recorder = RecordingProvider::Create(*bus, argv[2], error);
  if (!recorder) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  InstallAspiProvider(recorder.get());
  const FlowOutcome outcome = RunFlashFlow(image.data(), [&now] { now += kSessionSettleMs; });
  InstallAspiProvider(nullptr);
  std::printf("drives %d, model \"%s\", revision %s -> %s after %d attempt(s)\n", outcome.accepted,
              outcome.model.c_str(), outcome.revisionBefore.c_str(), outcome.revisionAfter.c_str(),
              outcome.verifyAttempts);
  return outcome.verified && recorder->Good() ? 0 : 1;
}
