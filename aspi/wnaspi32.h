// Our own declaration of the published ASPI for Win32 interface: the request
// blocks, command codes, flags and status values that the device object and
// the transports exchange. Every request block is byte-packed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aspi {
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
}  // namespace aspi

// Request block kinds (SRB_Cmd).
inline constexpr aspi::BYTE SC_HA_INQUIRY = 0x00;
inline constexpr aspi::BYTE SC_GET_DEV_TYPE = 0x01;
inline constexpr aspi::BYTE SC_EXEC_SCSI_CMD = 0x02;
inline constexpr aspi::BYTE SC_ABORT_SRB = 0x03;
inline constexpr aspi::BYTE SC_RESET_DEV = 0x04;

// Flags (SRB_Flags).
inline constexpr aspi::BYTE SRB_POSTING = 0x01;
inline constexpr aspi::BYTE SRB_ENABLE_RESIDUAL_COUNT = 0x04;
inline constexpr aspi::BYTE SRB_DIR_IN = 0x08;
inline constexpr aspi::BYTE SRB_DIR_OUT = 0x10;
inline constexpr aspi::BYTE SRB_EVENT_NOTIFY = 0x40;

// Status values (SRB_Status, and the status byte of the entry points).
inline constexpr aspi::BYTE SS_PENDING = 0x00;
inline constexpr aspi::BYTE SS_COMP = 0x01;
inline constexpr aspi::BYTE SS_ABORTED = 0x02;
inline constexpr aspi::BYTE SS_ABORT_FAIL = 0x03;
inline constexpr aspi::BYTE SS_ERR = 0x04;
inline constexpr aspi::BYTE SS_INVALID_CMD = 0x80;
inline constexpr aspi::BYTE SS_INVALID_HA = 0x81;
inline constexpr aspi::BYTE SS_NO_DEVICE = 0x82;
inline constexpr aspi::BYTE SS_INVALID_SRB = 0xE0;
inline constexpr aspi::BYTE SS_BUFFER_ALIGN = 0xE1;
inline constexpr aspi::BYTE SS_ILLEGAL_MODE = 0xE2;
inline constexpr aspi::BYTE SS_NO_ASPI = 0xE3;
inline constexpr aspi::BYTE SS_FAILED_INIT = 0xE4;
inline constexpr aspi::BYTE SS_ASPI_IS_BUSY = 0xE5;
inline constexpr aspi::BYTE SS_BUFFER_TO_BIG = 0xE6;
inline constexpr aspi::BYTE SS_MISMATCHED_COMPONENTS = 0xE7;
inline constexpr aspi::BYTE SS_NO_ADAPTERS = 0xE8;
inline constexpr aspi::BYTE SS_INSUFFICIENT_RESOURCES = 0xE9;
inline constexpr aspi::BYTE SS_ASPI_IS_SHUTDOWN = 0xEA;
inline constexpr aspi::BYTE SS_BAD_INSTALL = 0xEB;

// Host adapter status (SRB_HaStat).
inline constexpr aspi::BYTE HASTAT_OK = 0x00;
inline constexpr aspi::BYTE HASTAT_TIMEOUT = 0x09;
inline constexpr aspi::BYTE HASTAT_COMMAND_TIMEOUT = 0x0B;
inline constexpr aspi::BYTE HASTAT_MESSAGE_REJECT = 0x0D;
inline constexpr aspi::BYTE HASTAT_BUS_RESET = 0x0E;
inline constexpr aspi::BYTE HASTAT_PARITY_ERROR = 0x0F;
inline constexpr aspi::BYTE HASTAT_REQUEST_SENSE_FAILED = 0x10;
inline constexpr aspi::BYTE HASTAT_SEL_TO = 0x11;
inline constexpr aspi::BYTE HASTAT_DO_DU = 0x12;
inline constexpr aspi::BYTE HASTAT_BUS_FREE = 0x13;
inline constexpr aspi::BYTE HASTAT_PHASE_ERR = 0x14;

// SCSI status bytes the transports put into SRB_TargStat.
inline constexpr aspi::BYTE STATUS_GOOD = 0x00;
inline constexpr aspi::BYTE STATUS_CHKCOND = 0x02;
inline constexpr aspi::BYTE STATUS_BUSY = 0x08;

inline constexpr std::size_t SENSE_LEN = 14;

#pragma pack(push, 1)

struct SRB_ExecSCSICmd {
  aspi::BYTE SRB_Cmd;
  aspi::BYTE SRB_Status;
  aspi::BYTE SRB_HaId;
  aspi::BYTE SRB_Flags;
  aspi::DWORD SRB_Hdr_Rsvd;
  aspi::BYTE SRB_Target;
  aspi::BYTE SRB_Lun;
  aspi::WORD SRB_Rsvd1;
  aspi::DWORD SRB_BufLen;
  aspi::BYTE* SRB_BufPointer;
  aspi::BYTE SRB_SenseLen;
  aspi::BYTE SRB_CDBLen;
  aspi::BYTE SRB_HaStat;
  aspi::BYTE SRB_TargStat;
  void (*SRB_PostProc)(void*);
  void* SRB_Rsvd2;
  aspi::BYTE SRB_Rsvd3[16];
  aspi::BYTE CDBByte[16];
  aspi::BYTE SenseArea[SENSE_LEN + 2];
};

struct SRB_Abort {
  aspi::BYTE SRB_Cmd;
  aspi::BYTE SRB_Status;
  aspi::BYTE SRB_HaId;
  aspi::BYTE SRB_Flags;
  aspi::DWORD SRB_Hdr_Rsvd;
  void* SRB_ToAbort;
};

struct SRB_BusDeviceReset {
  aspi::BYTE SRB_Cmd;
  aspi::BYTE SRB_Status;
  aspi::BYTE SRB_HaId;
  aspi::BYTE SRB_Flags;
  aspi::DWORD SRB_Hdr_Rsvd;
  aspi::BYTE SRB_Target;
  aspi::BYTE SRB_Lun;
  aspi::BYTE SRB_Rsvd1[12];
  aspi::BYTE SRB_HaStat;
  aspi::BYTE SRB_TargStat;
  void (*SRB_PostProc)(void*);
  void* SRB_Rsvd2;
  aspi::BYTE SRB_Rsvd3[16];
  aspi::BYTE CDBByte[16];
};

// Every request block starts with this header; a provider reads SRB_Cmd from
// it to learn the kind of the block it was handed.
struct SRB_Header {
  aspi::BYTE SRB_Cmd;
  aspi::BYTE SRB_Status;
  aspi::BYTE SRB_HaId;
  aspi::BYTE SRB_Flags;
  aspi::DWORD SRB_Hdr_Rsvd;
};

#pragma pack(pop)

// The field offsets of the published layout, for 32-bit and 64-bit builds.
namespace aspi::layout {
inline constexpr std::size_t kPtr = sizeof(void*);
static_assert(kPtr == 4 || kPtr == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Cmd) == 0);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 1);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 2);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 3);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd) == 4);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 9);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 10);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 16 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 17 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 18 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 19 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 20 + kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 20 + 2 * kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd3) == 20 + 3 * kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 36 + 3 * kPtr);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 52 + 3 * kPtr);
static_assert(sizeof(SRB_ExecSCSICmd) == 68 + 3 * kPtr);  // 80 or 92
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 8);
static_assert(sizeof(SRB_Abort) == 8 + kPtr);
static_assert(offsetof(SRB_BusDeviceReset, SRB_Target) == 8);
static_assert(offsetof(SRB_BusDeviceReset, SRB_Lun) == 9);
static_assert(offsetof(SRB_BusDeviceReset, SRB_Rsvd1) == 10);
static_assert(offsetof(SRB_BusDeviceReset, SRB_HaStat) == 22);
static_assert(offsetof(SRB_BusDeviceReset, SRB_TargStat) == 23);
static_assert(offsetof(SRB_BusDeviceReset, SRB_PostProc) == 24);
static_assert(offsetof(SRB_BusDeviceReset, SRB_Rsvd2) == 24 + kPtr);
static_assert(offsetof(SRB_BusDeviceReset, SRB_Rsvd3) == 24 + 2 * kPtr);
static_assert(offsetof(SRB_BusDeviceReset, CDBByte) == 40 + 2 * kPtr);
}  // namespace aspi::layout
