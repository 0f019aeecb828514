#include "download/download_command.h"

#include "aspi/download_opcode.h"

const std::uint8_t kDownloadTemplate[12] = {
    aspi::kDownloadOpcode, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0x02, 0x00, 0x00};

void FillDownloadCommand(std::uint8_t* commandBlock, std::uint16_t checksum, std::uint8_t byte0,
                         std::uint8_t byte1) {
  commandBlock[3] = 0x77;
  commandBlock[5] = static_cast<std::uint8_t>(checksum >> 8);
  commandBlock[6] = static_cast<std::uint8_t>(checksum & 0xFF);
  commandBlock[10] = byte0;
  commandBlock[11] = byte1;
}

std::uint32_t ProgressPercent(std::uint32_t start, std::uint32_t now) {
  const std::uint32_t elapsed = now - start;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(elapsed) * 100 / kProgressSpanMs);
}

std::uint32_t NextProgressChange(std::uint32_t start, std::uint32_t last, std::uint32_t percent) {
  const std::uint32_t nextPercent =
      static_cast<std::uint32_t>(((std::uint64_t{percent} + 1) * kProgressSpanMs + 99) / 100);
  const std::uint32_t nextPicture = (last - start) + kPictureIntervalMs + 1;
  return start + (nextPercent < nextPicture ? nextPercent : nextPicture);
}
