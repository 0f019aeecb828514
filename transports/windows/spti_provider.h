// The SCSI Pass Through Interface as an ASPI provider: where no ASPI service
// is installed (every modern Windows), the CD-ROM devices \\.\CdRom0..N are
// opened and each command goes to its device with
// IOCTL_SCSI_PASS_THROUGH_DIRECT. Commands run synchronously: when
// SendCommand returns, the request block holds its final status.
//
// From the download command (operation code 0x55) on, the provider holds a
// claim on that drive for the rest of the run, so that no second copy of the
// program sends to it while it reprograms itself and is verified: a drive
// another copy has claimed gets no command at all, and the download command
// is not sent when the claim cannot be had. With the claim the provider
// turns off the CD-ROM class driver's media change detection for the drive
// (its polling for a disc, which AutoPlay rests on) until the provider goes:
// what Windows itself would otherwise send to a drive rewriting its firmware. Timeouts, a vanished
// device, a refused claim and a failed download command are told as they happen.
//
// The data of every command goes through a buffer of the provider's, aligned
// to the page and to the adapter's alignment mask, so it spans no more pages
// than its length needs; the caller's buffer may sit anywhere. The adapter's
// limits are read when a device is opened, and a command whose data the
// adapter cannot move in one transfer is refused (SS_BUFFER_TO_BIG), told,
// and never sent.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the other two build on its types.
#include <windows.h>

#include <winioctl.h>

#include <ntddscsi.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "aspi/aspi_provider.h"
#include "aspi/request_executor.h"
#include "transports/windows/spti_request.h"
#include "transports/windows/spti_system.h"

namespace spti {

// Where a device sits, as IOCTL_SCSI_GET_ADDRESS tells it. `port` is above
// 255 for a device that would not tell (it then gets an adapter of its own).
struct SptiAddress {
  int port;
  int path;
  int target;
  int lun;
};

struct SptiNumber {
  BYTE adapter;
  BYTE target;
};

// Numbers the devices as ASPI would: one adapter per distinct port, in
// ascending port order. Within a port every device keeps its own target id
// when all of them are at path 0 and LUN 0 with distinct ids below 8;
// otherwise they are numbered 0, 1, 2... in (path, target, LUN) order, so
// that a scan of targets 0 to 7 reaches each of them.
std::vector<SptiNumber> NumberSptiDevices(const std::vector<SptiAddress>& addresses);

}  // namespace spti

class SptiProvider : public AspiProvider, private CommandRunner {
 public:
  struct Device {
    std::string path;
    HANDLE handle;
    SCSI_ADDRESS address;
    BYTE adapter;
    BYTE target;
    std::string claimName;   // the same for every program that sees this drive
    HANDLE claim = nullptr;  // held from the download command on
    spti::SptiAdapterLimits limits;
    // Opened for its attributes only, with media change detection turned
    // off through it from the download command on; closing it turns it on.
    HANDLE mediaWatch = nullptr;
  };

  // Opens \\.\X: for each drive letter X whose type is CD-ROM, then
  // \\.\CdRom0 to \\.\CdRom<maxDevices - 1> that are not the same drive as
  // one of the letters; numbers that do not exist are skipped (the
  // numbering may have gaps).
  explicit SptiProvider(spti::SptiSystem system = spti::SptiSystem::Real(), int maxDevices = 32);
  ~SptiProvider() override;
  SptiProvider(const SptiProvider&) = delete;
  SptiProvider& operator=(const SptiProvider&) = delete;

  aspi::DWORD GetSupportInfo() override;
  aspi::DWORD SendCommand(void* srb) override;
  const char* Name() const override { return "spti"; }
  // What Windows learned of the device when it found it: the storage
  // device descriptor's type, vendor and product, which the port driver
  // keeps from its own INQUIRY (IOCTL_STORAGE_QUERY_PROPERTY; no command
  // reaches the drive). Unknown where the driver does not answer.
  KnownDevice KnownIdentity(BYTE adapter, BYTE target) const override;

  const std::vector<Device>& Devices() const { return devices_; }
  int AdapterCount() const override { return adapterCount_; }
  // Devices that exist but could not be used, one line each ("\\.\CdRom1:
  // access denied (error 5); run the program as administrator").
  const std::vector<std::string>& Problems() const { return problems_; }
  // Windows refused a device or a pass-through request for want of rights
  // (ERROR_ACCESS_DENIED): the user is not an administrator, or the program
  // runs without elevation.
  bool AccessDenied() const { return accessDenied_; }

 private:
  // Opens the device at `path` and adds it (false where it cannot be
  // opened); a device that does not tell its address sits on port
  // `unaddressedPort` and is claimed under `alias`.
  bool Open(const std::string& path, int unaddressedPort, const std::string& alias,
            std::vector<spti::SptiAddress>& addresses);
  Device* Find(BYTE adapter, BYTE target);
  const Device* Find(BYTE adapter, BYTE target) const;
  void Tell(const Device& device, const std::string& text);
  void StopMediaChangeDetection(Device& device);
  bool HasTarget(BYTE adapter, BYTE target) const override;
  CommandVerdict RunCommand(const CommandRequest& command) override;
  BYTE ResetTarget(BYTE adapter, BYTE target, BYTE& haStat) override;
  // A buffer of at least `length` bytes aligned to `alignment`, kept for
  // the next commands.
  BYTE* DataBuffer(std::size_t length, std::size_t alignment);

  struct AlignedFree {
    std::size_t alignment;
    void operator()(BYTE* p) const { ::operator delete[](p, std::align_val_t(alignment)); }
  };

  spti::SptiSystem system_;
  std::unique_ptr<BYTE[], AlignedFree> data_{nullptr, AlignedFree{1}};
  std::size_t dataLength_ = 0;
  std::vector<Device> devices_;
  std::vector<std::string> problems_;
  int adapterCount_ = 0;
  std::atomic<bool> accessDenied_{false};
};
