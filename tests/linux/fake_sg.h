// Test stand-ins for the Linux side: a sysfs tree under a scratch folder and
// an SgSystem that behaves like the sg driver (open errors, O_EXCL, the
// device's address) and answers commands from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "aspi/wnaspi32.h"
#include "tests/support/temp_dir.h"
#include "transports/linux/sg_system.h"

namespace sgtest {

// A standard INQUIRY request block for 36 bytes into `data`.
inline SRB_ExecSCSICmd InquiryRequest(int ha, int target, int lun, std::uint8_t (&data)[36]) {
  SRB_ExecSCSICmd srb{};
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = static_cast<aspi::BYTE>(ha);
  srb.SRB_Target = static_cast<aspi::BYTE>(target);
  srb.SRB_Lun = static_cast<aspi::BYTE>(lun);
  srb.SRB_Flags = SRB_DIR_IN;
  srb.SRB_BufLen = sizeof data;
  srb.SRB_BufPointer = data;
  srb.SRB_SenseLen = 14;
  srb.SRB_CDBLen = 6;
  srb.CDBByte[0] = 0x12;
  srb.CDBByte[4] = 36;
  return srb;
}

// A sysfs tree: class/scsi_generic/sgN/device -> ../../../devices/H:C:T:L.
class FakeSysfs {
 public:
  FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  std::string Root() const { return root_.string(); }
  std::string DevRoot() const { return (root_ / "dev").string(); }
  void AddClass();  // an empty class/scsi_generic: the sg module is loaded
  // `type`: the SCSI device type sysfs reports (5: CD/DVD), -1 for none.
  void AddNode(const std::string& name, const std::string& address, int type = -1);
  void AddBrokenNode(const std::string& name);  // no device link
  void SetBlockLimitKib(const std::string& address, long kib);
  void SetHostMaxSectors(int host, long sectors);
  // The device at `address` gets the block device `name` (sr0) with its
  // block/<name>/events_poll_msecs holding `pollMsecs`.
  void AddBlock(const std::string& address, const std::string& name, const std::string& pollMsecs);
  std::string PollMsecs(const std::string& name) const;  // the file's text

 private:
  TempDir folder_{"qtr5-sysfs"};
  const std::filesystem::path root_ = folder_.path();
};

struct RecordedCall {
  std::string path;
  bool exclusive = false;
  std::vector<std::uint8_t> cdb;
  sg::DataDirection direction = sg::DataDirection::kNone;
  std::uint32_t length = 0;
  int timeoutSeconds = 0;
  long long waitMilliseconds = 0;
  std::vector<std::uint8_t> dataOut;
};

// What one scripted command does: the result, the data it returns and the
// sense bytes it writes.
struct ScriptedAnswer {
  sg::PassThroughResult result;
  std::vector<std::uint8_t> dataIn;
  std::vector<std::uint8_t> sense;
};

class FakeSgSystem : public sg::SgSystem {
 public:
  struct Node {
    sg::ScsiAddress address;  // what SG_GET_SCSI_ID reports
    int openError = 0;        // errno that open() fails with, 0 for none
  };

  // path -> node; a path without an entry does not exist (ENOENT).
  std::map<std::string, Node> nodes;
  // Answers in order; when they run out, every command completes GOOD.
  std::deque<ScriptedAnswer> answers;
  std::vector<RecordedCall> calls;
  long maxTransfer = -1;
  std::vector<std::string> resets;
  // Block devices by path (errno their open fails with, 0 for none), those
  // held now, and errno values that access to or writes of a path fail with
  // (as for a user who is not root).
  std::map<std::string, int> blocks;
  std::map<int, std::string> heldBlocks;  // by descriptor
  std::map<std::string, int> refusedPaths;

  int Open(const std::string& path, bool exclusive) override;
  void Close(int fd) override;
  int GetScsiAddress(int fd, sg::ScsiAddress& address) override;
  sg::PassThroughResult PassThrough(const sg::PassThroughRequest& request) override;
  long MaxTransferBytes(int fd) override;
  int ResetDevice(int fd) override;
  int ReadAttribute(const std::string& path, std::string& text) override;
  int WriteAttribute(const std::string& path, const std::string& text) override;
  int Access(const std::string& path, bool write) override;
  int OpenBlockExclusive(const std::string& path) override;

  int OpenCount() const { return static_cast<int>(open_.size()); }

 private:
  struct OpenFile {
    std::string path;
    bool exclusive;
  };
  std::map<int, OpenFile> open_;
  int nextFd_ = 100;
};

// Sense data helpers.
std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);
std::vector<std::uint8_t> DescriptorSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

}  // namespace sgtest
