// One command through the SCSI Pass Through Interface: the request as the
// port driver takes it, the judgement of how DeviceIoControl ended, and what
// the host adapter can move in one command.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the other two build on its types.
#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>

#include <cstddef>
#include <string>

#include "aspi/request_executor.h"

namespace spti {

// One pass-through request with the sense buffer right behind it, laid out
// as the port driver expects (SenseInfoOffset points at `sense`).
struct SptiRequest {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG filler;
  UCHAR sense[32];
};

// Fills `request` for the command in `srb` addressed to `address`; the
// timeout is the command's time limit in whole seconds, at least 1.
void BuildSptiRequest(const CommandRequest& command, const SCSI_ADDRESS& address,
                      SptiRequest& request);
// The same for the command in a request block.
void BuildSptiRequest(const SRB_ExecSCSICmd& srb, const SCSI_ADDRESS& address,
                      SptiRequest& request);

// How one pass-through call ended, in ASPI terms.
struct SptiVerdict {
  BYTE haStat = HASTAT_OK;
  BYTE targStat = STATUS_GOOD;
  bool withSense = false;  // the drive's sense bytes belong into SenseArea
  bool clean = false;      // completed without any error: SS_COMP
};

// Judges the outcome of DeviceIoControl for a command that asked to move
// `requestedLength` bytes (see StoreSptiOutcome).
SptiVerdict JudgeSpti(bool ioctlSucceeded, DWORD error, const SptiRequest& request,
                      DWORD requestedLength);

// The outcome of DeviceIoControl as the executor stores it (see
// StoreSptiOutcome).
CommandVerdict SptiOutcome(bool ioctlSucceeded, DWORD error, const SptiRequest& request,
                           DWORD requestedLength);

// Finishes `srb` from the outcome of DeviceIoControl, judged in the order
// system error, SCSI status, sense data, short write. The data are already
// in the buffer; the sense bytes (SRB_SenseLen of them, from SenseArea on)
// and SRB_HaStat / SRB_TargStat are stored before SRB_Status, which is
// SS_COMP only for a clean completion and SS_ERR otherwise.
void StoreSptiOutcome(bool ioctlSucceeded, DWORD error, const SptiRequest& request,
                      SRB_ExecSCSICmd& srb);

// What the host adapter behind a device can move in one command, as
// IOCTL_STORAGE_QUERY_PROPERTY (StorageAdapterProperty) tells it. `known` is
// false where the driver does not answer the query (the command is then sent
// as it is, and the driver refuses it if it must).
struct SptiAdapterLimits {
  bool known = false;
  DWORD maximumTransferLength = 0;
  DWORD maximumPhysicalPages = 0;
  DWORD alignmentMask = 0;  // the data buffer's address & mask must be 0
};

// Why `length` bytes cannot go in one command through an adapter with
// `limits`, the data starting on a page boundary of `pageSize` bytes; empty
// when they can.
std::string SptiTransferRefusal(const SptiAdapterLimits& limits, DWORD length, DWORD pageSize);

// The alignment the data buffer gets: the page, or what the adapter asks
// when that is more.
std::size_t SptiDataAlignment(const SptiAdapterLimits& limits, DWORD pageSize);

// What the request's judgement and the provider's messages share.
// A pass-through call that ran out of time, and one whose device is gone.
bool IsTimeoutError(DWORD error);
bool IsGoneError(DWORD error);
// "0x1F": one byte in hexadecimal.
std::string Hex(int value);
// "SCSI status 0x02, sense key 0x05 (Illegal Request), ASC 0x24, ASCQ 0x00
// (Invalid field in CDB)", for fixed and descriptor sense data; and how many
// bytes the drive took when it took fewer than it was sent.
std::string DescribeOutcome(const SptiRequest& request, DWORD requestedLength);

}  // namespace spti
