// Pausing the kernel's media polling of the drive and holding its block
// device for the reprogramming window.
#include "transports/linux/drive_guard.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "aspi/exit_restore.h"

namespace fs = std::filesystem;

namespace sg {

namespace {

// A value as events_poll_msecs shows it: a whole number, perhaps negative.
bool IsPollValue(const std::string& text) {
  std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() <= start || text.size() > 12) return false;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

DriveGuard::DriveGuard(SgSystem& system, std::string sysfsRoot, std::string devRoot,
                       std::string sgName)
    : system_(system),
      sysfsRoot_(std::move(sysfsRoot)),
      devRoot_(std::move(devRoot)),
      sgName_(std::move(sgName)) {}

DriveGuard::~DriveGuard() {
  Release();
}

std::string DriveGuard::BlockName() const {
  const fs::path dir =
      fs::path(sysfsRoot_) / "class" / "scsi_generic" / sgName_ / "device" / "block";
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    return it->path().filename().string();
  }
  return {};
}

std::string DriveGuard::Limits() const {
  const std::string block = BlockName();
  if (block.empty()) return {};
  const std::string poll = sysfsRoot_ + "/block/" + block + "/events_poll_msecs";
  const std::string device = devRoot_ + "/" + block;
  // An old kernel without the attribute polls on its own terms: nothing to
  // pause. Each cause is named as it is: rights are only one of them.
  int pollError = system_.Access(poll, true);
  if (pollError == ENOENT) pollError = 0;
  const int holdError = system_.Access(device, false);
  const auto forWantOfRights = [](int error) { return error == EACCES || error == EPERM; };
  std::string rights;
  if (forWantOfRights(pollError)) rights = "pause the kernel's media polling of " + block;
  if (forWantOfRights(holdError)) {
    rights +=
        std::string(rights.empty() ? "" : " nor ") + "keep other programs from opening " + device;
  }
  std::vector<std::string> sentences;
  if (!rights.empty()) {
    sentences.push_back("Without root rights the program cannot " + rights +
                        " while the drive rewrites its firmware, so the drive may get commands "
                        "the program did not send; to prevent that, run the terminal program "
                        "qtr5-download as root (sudo), never the desktop program.");
  }
  if (pollError != 0 && !forWantOfRights(pollError)) {
    sentences.push_back("The kernel's media polling of " + block + " cannot be paused (" +
                        std::strerror(pollError) +
                        "), so the drive may get commands the program did not send while it "
                        "rewrites its firmware.");
  }
  if (holdError == ENOENT) {
    // The kernel knows the block device, but no node was made for it (no
    // devtmpfs or udev here): rights would not help.
    sentences.push_back(device + " does not exist (the system made no device node for " + block +
                        "), so the program cannot hold the drive's block device while it "
                        "rewrites its firmware.");
  } else if (holdError != 0 && !forWantOfRights(holdError)) {
    sentences.push_back(device + " cannot be opened (" + std::string(std::strerror(holdError)) +
                        "), so other programs are not kept from it while the drive rewrites its "
                        "firmware.");
  }
  std::string limits;
  for (const std::string& sentence : sentences) limits += (limits.empty() ? "" : " ") + sentence;
  return limits;
}

void DriveGuard::Engage(const std::function<void(const std::string&)>& tell) {
  if (!pollPath_.empty() || blockFd_ >= 0) return;
  const std::string block = BlockName();
  if (block.empty()) return;
  const std::string poll = sysfsRoot_ + "/block/" + block + "/events_poll_msecs";
  std::string old;
  int error = system_.ReadAttribute(poll, old);
  while (!old.empty() && (old.back() == '\n' || old.back() == ' ')) old.pop_back();
  if (error == 0 && !IsPollValue(old)) error = EINVAL;
  // An old kernel without the attribute polls on its own terms: nothing to
  // pause, nothing to tell.
  if (error != ENOENT) {
    if (error == 0) error = old == "0" ? 0 : system_.WriteAttribute(poll, "0");
    if (error == 0) {
      pollPath_ = poll;
      oldPoll_ = old;
      restoreEntry_ = AddExitRestore(poll, old);
    } else {
      tell("the kernel's media polling of " + block + " cannot be paused (" + std::strerror(error) +
           "): it may send the drive commands while it rewrites its "
           "firmware.");
    }
  }
  // A block device that cannot be held (mounted, or open exclusively
  // elsewhere) does not stop the download: the drive is held through its sg
  // node, the polling is paused, the user has confirmed, and a holder of
  // the block device sends nothing unless it is asked to. It is told.
  const std::string device = devRoot_ + "/" + block;
  const int fd = system_.OpenBlockExclusive(device);
  if (fd >= 0) {
    blockFd_ = fd;
  } else {
    tell(device +
         (-fd == EBUSY ? std::string(" is in use (mounted or open in another program)")
                       : " cannot be opened (" + std::string(std::strerror(-fd)) + ")") +
         ", so other programs are not kept from it while the drive rewrites its firmware.");
  }
}

void DriveGuard::Release() {
  if (blockFd_ >= 0) system_.Close(blockFd_);
  blockFd_ = -1;
  if (!pollPath_.empty()) {
    system_.WriteAttribute(pollPath_, oldPoll_);
    RemoveExitRestore(restoreEntry_);
  }
  pollPath_.clear();
  restoreEntry_ = -1;
}

}  // namespace sg
