// What the emulated bus received: one entry per request block handed over,
// in the order of arrival, for tests that check what reached which device.
#pragma once

#include <cstdint>
#include <vector>

#include "aspi/wnaspi32.h"

enum class Completion : std::uint8_t {
  kImmediate,     // final status stored before SendASPI32Command returned
  kLater,         // final status stored by another thread after a delay
  kNever,         // stays SS_PENDING until aborted
  kPendingSense,  // sense data written while the status stays SS_PENDING
};

struct LoggedCommand {
  std::uint64_t sequence = 0;           // position in the bus-wide log, from 0
  std::uint8_t requestKind = 0;         // SRB_Cmd: SC_EXEC_SCSI_CMD, SC_ABORT_SRB, SC_RESET_DEV...
  std::uint8_t adapter = 0;             // SRB_HaId
  std::uint8_t target = 0;              // SRB_Target (0 for an abort)
  std::uint8_t lun = 0;                 // SRB_Lun
  bool devicePresent = false;           // a device sat at that address
  std::uint8_t cdb[16] = {};            // the bytes the device received; 0 beyond cdbLength
  std::uint8_t cdbLength = 0;           // SRB_CDBLen
  std::uint8_t flags = 0;               // SRB_Flags (direction, posting)
  std::uint32_t transferLength = 0;     // SRB_BufLen
  std::vector<std::uint8_t> dataOut;    // with SRB_DIR_OUT: a copy of the whole data phase
  std::uint32_t dataInLength = 0;       // bytes written into the buffer
  std::uint8_t status = SS_PENDING;     // the final SRB_Status (SS_PENDING: never completes)
  std::uint8_t haStat = HASTAT_OK;      // SRB_HaStat
  std::uint8_t targStat = STATUS_GOOD;  // SRB_TargStat
  std::uint8_t senseKey = 0;            // of the sense data returned, 0 when none
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  Completion completion = Completion::kImmediate;
  const void* request = nullptr;  // address of the request block (abort: the one to abort)

  std::uint8_t Opcode() const { return cdb[0]; }
};
