// What keeps everything but the program away from a drive while it rewrites
// its firmware, on Linux. With the CD-ROM driver (sr) bound, the kernel
// polls the drive for media events every events_poll_msecs (2 s where
// systemd's udev rules set it): a GET EVENT STATUS NOTIFICATION the program
// never sent, to a drive in the middle of reprogramming. From the download
// command to the end of the run the guard
// - sets the block device's events_poll_msecs to 0 (no polling), having
//   read the old value (-1 stands for the system's default), and writes the
//   old value back when it is released; the write back is also registered
//   with the exit restores (aspi/exit_restore.h), so that a signal that ends
//   the program or an exit without the provider's destruction restores it;
//   only a SIGKILL or a crash leaves polling off (then "echo -1 >
//   /sys/block/srN/events_poll_msecs" as root, or a reboot, brings it back);
// - holds the block device open exclusively (O_EXCL, read-only), so that
//   no other program can open it until the run ends. Opening it makes the
//   kernel ask the drive for media events once, which is why the guard is
//   engaged before the download command, never after it.
// Without a block device (sr not bound) the kernel sends nothing of its own
// and there is nothing to do.
#pragma once

#include <functional>
#include <string>

#include "transports/linux/sg_system.h"

namespace sg {

class DriveGuard {
 public:
  // For the drive behind /dev/<sgName>; paths under the given roots.
  DriveGuard(SgSystem& system, std::string sysfsRoot, std::string devRoot, std::string sgName);
  ~DriveGuard();
  DriveGuard(const DriveGuard&) = delete;
  DriveGuard& operator=(const DriveGuard&) = delete;

  // What the guard will not be able to do, each with its cause (the
  // program's rights, a block device without a node in /dev, another
  // error), one sentence each; empty when nothing. Nothing is opened or
  // written.
  std::string Limits() const;

  // Pauses the polling and takes the block device. What fails is told to
  // `tell`, one line each; the download goes on (see the definition).
  void Engage(const std::function<void(const std::string&)>& tell);
  // Gives the block device back and restores the polling; done by the
  // destructor as well.
  void Release();

 private:
  std::string BlockName() const;  // "sr0", empty without a block device

  SgSystem& system_;
  std::string sysfsRoot_;
  std::string devRoot_;
  std::string sgName_;
  std::string pollPath_;   // set while the polling is paused
  std::string oldPoll_;    // its value before
  int restoreEntry_ = -1;  // the registered write back
  int blockFd_ = -1;
};

}  // namespace sg
