// Model and revision strings out of standard INQUIRY data.
#include <cstring>

#include "aspi/aspi_device.h"

namespace {

constexpr char kModelSuffix[] = "3177K";
constexpr std::size_t kModelOffset = 8;
constexpr std::size_t kModelLength = 24;
constexpr std::size_t kSuffixOffset = 27;
constexpr std::size_t kRevisionOffset = 32;
constexpr std::size_t kRevisionLength = 4;

// Copies `length` bytes, NUL-terminates them and replaces the trailing blanks
// (0x20 only) with NUL, going backwards until the first other character.
void CopyField(const std::uint8_t* source, std::size_t length, char* target) {
  std::memcpy(target, source, length);
  target[length] = '\0';
  for (std::size_t i = length; i > 0 && target[i - 1] == ' '; --i) target[i - 1] = '\0';
}

}  // namespace

bool AspiDevice::GetInquiryStrings(char* model, char* revision) {
  if (dataBuffer == nullptr) {
    if (model != nullptr) model[0] = '\0';
    if (revision != nullptr) revision[0] = '\0';
    return false;
  }
  if (revision != nullptr) CopyField(dataBuffer + kRevisionOffset, kRevisionLength, revision);
  if (model == nullptr) return false;
  CopyField(dataBuffer + kModelOffset, kModelLength, model);
  return std::memcmp(dataBuffer + kSuffixOffset, kModelSuffix, 5) == 0;
}
