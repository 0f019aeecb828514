// AspiDevice: the one path to the drive. It holds the adapter count, the
// adapter and target of every command, one request block, the command block
// of the next command and the data buffer shared by all commands (INQUIRY
// data, then the firmware image).
#pragma once

#include <cstdint>

#include "aspi/wnaspi32.h"

// Completion signal of posted execution: 1 while a posted command runs.
extern volatile std::uint8_t g_commandPending;

// Completion routine named in SRB_PostProc by ExecutePosted.
void PostRoutine(void* request);

inline constexpr std::uint32_t kDataBufferSize = 65540;
inline constexpr std::uint8_t kRequestedSenseLength = 18;

class AspiDevice {
 public:
  AspiDevice();
  ~AspiDevice();
  AspiDevice(const AspiDevice&) = delete;
  AspiDevice& operator=(const AspiDevice&) = delete;

  bool IsAvailable() const;
  std::uint8_t GetAdapterCount() const;
  void SelectAdapter(std::uint8_t adapter);
  void SelectTarget(std::uint8_t target);

  void SetCommand(const std::uint8_t* block, std::uint8_t direction, std::uint32_t length);
  void SetCommand10(const std::uint8_t* block, std::uint8_t direction, std::uint32_t length);

  bool ExecuteWait();
  int CheckStatus();
  void ExecutePosted();
  bool AbortCommand();
  bool ResetDevice();

  bool GetInquiryStrings(char* model, char* revision);

  // After a scan that accepted no drive the device addresses no target:
  // ExecuteWait and ExecutePosted then fail without sending anything, until
  // SelectAdapter or SelectTarget names a target again.
  void ClearTarget();
  bool HasTarget() const;

  // Fields, in this order; senseReserve directly behind srb.
  std::uint8_t adapterCount;
  std::uint8_t adapterId;
  std::uint8_t targetId;
  SRB_ExecSCSICmd srb;
  std::uint8_t senseReserve[64];
  std::uint8_t direction;
  std::uint32_t transferLength;
  std::uint8_t* dataBuffer;  // kDataBufferSize bytes, or nullptr if it could not be had
  std::uint8_t commandBlock[12];
  std::uint8_t commandLength;
  bool targetCleared;
};
