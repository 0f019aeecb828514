// A drive of the model in user space, behind the kernel's loopback SCSI
// target: target_core_user hands each command to this process through a
// shared command ring on /dev/uioN; the answer goes back into the same ring
// entry. Built statically so that it runs in the virtual machine's
// initramfs as it is.
//
//   qtr5-vm-user-drive [--busy MS] [--refuse] [--unit-attention]
//                      [--hold MS] [--hold-after-download MS] [--vanish N]
//                      [--uio /dev/uioN]
//
// --busy MS          NOT READY (04/07) for MS milliseconds after a good download (3000)
// --refuse           every download fails: HARDWARE ERROR, write error
// --unit-attention   UNIT ATTENTION 29/00 on the first command other than INQUIRY
// --hold MS          the download command completes only after MS milliseconds
// --hold-after-download MS
//                    after a good download, answer nothing until MS milliseconds
//                    after it ended (as a drive that rewrites its firmware), then
//                    answer every held command in turn, normally
// --vanish N         after a good download, answer N more commands, then exit:
//                    later commands are never completed by the drive
// --uio PATH         the device to serve (default: the first one of the target layer)
//
// Every command is reported on standard output as one line starting with
// "drive: ", so a test can follow what reached the drive: when it arrived
// ("drive: at SECONDS received cdb ... id N") and how it was answered
// ("drive: cdb ... -> status S"). So is every task management request the
// kernel hands on (the device's attribute tmr_notification set to 1): an
// abort or a reset the initiator sent, "drive: at SECONDS task management
// ABORT_TASK for N command(s): id I ...". SECONDS are the monotonic clock,
// as the kernel log's times.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "aspi/download_opcode.h"
#include "command_ring.h"
#include "drive_model.h"

namespace {

struct Settings {
  DriveOptions drive;
  std::uint32_t holdMs = 0;
  std::uint32_t holdAfterDownloadMs = 0;
  int vanishAfter = -1;
  std::string uio;
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "drive: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

constexpr const char* kUsage =
    "usage: qtr5-vm-user-drive [--busy MS] [--refuse] [--unit-attention] [--hold MS] "
    "[--hold-after-download MS] [--vanish N] [--uio /dev/uioN]\n";

[[noreturn]] void Usage(const char* wrong) {
  std::fprintf(stderr, "drive: unknown or incomplete option '%s'\n%s", wrong, kUsage);
  std::exit(2);
}

unsigned long Number(int argc, char** argv, int& i) {
  if (i + 1 >= argc) Usage(argv[i]);
  char* end = nullptr;
  const unsigned long value = std::strtoul(argv[i + 1], &end, 10);
  if (*argv[i + 1] == '\0' || *end != '\0') Usage(argv[i]);
  ++i;
  return value;
}

Settings ParseSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      std::printf("%s", kUsage);
      std::exit(0);
    } else if (option == "--busy") {
      settings.drive.busyMs = static_cast<std::uint32_t>(Number(argc, argv, i));
    } else if (option == "--refuse") {
      settings.drive.refuse = true;
    } else if (option == "--unit-attention") {
      settings.drive.unitAttention = true;
    } else if (option == "--hold") {
      settings.holdMs = static_cast<std::uint32_t>(Number(argc, argv, i));
    } else if (option == "--hold-after-download") {
      settings.holdAfterDownloadMs = static_cast<std::uint32_t>(Number(argc, argv, i));
    } else if (option == "--vanish") {
      settings.vanishAfter = static_cast<int>(Number(argc, argv, i));
    } else if (option == "--uio" && i + 1 < argc) {
      settings.uio = argv[++i];
    } else {
      Usage(argv[i]);
    }
  }
  return settings;
}

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::string ReadLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The uio device of the target layer's user backstore: its name starts with
// "tcm-user". Returns the /dev path and the size of its one mapping.
std::string FindUio(const std::string& wanted, std::size_t& mapSize) {
  const std::filesystem::path classDir = "/sys/class/uio";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(classDir, error)) {
    std::string node = "/dev/" + entry.path().filename().string();
    if (!wanted.empty() && node != wanted) continue;
    if (ReadLine(entry.path() / "name").rfind("tcm-user", 0) != 0) continue;
    mapSize = std::stoul(ReadLine(entry.path() / "maps/map0/size"), nullptr, 16);
    return node;
  }
  errno = ENODEV;
  Fail("no uio device of the target layer's user backstore");
}

// The command block length the target layer copied into the ring: it sizes
// the block by the operation code's group alone.
std::size_t CommandSize(std::uint8_t opcode) {
  static constexpr std::size_t kByGroup[8] = {6, 10, 10, 12, 16, 12, 10, 10};
  return kByGroup[opcode >> 5];
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char two[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

// The uio device: a read returns once the kernel posted since the last
// read, a write tells it that answers are waiting. The wait ends at
// `untilMs` as well, when that is not 0.
void WaitForKernel(int fd, std::uint64_t untilMs) {
  int timeout = -1;
  if (untilMs != 0) {
    const std::uint64_t now = NowMs();
    timeout = untilMs > now ? static_cast<int>(untilMs - now) : 0;
  }
  pollfd watched{fd, POLLIN, 0};
  const int ready = poll(&watched, 1, timeout);
  if (ready < 0 && errno != EINTR) Fail("poll of the uio device");
  if (ready <= 0) return;
  std::uint32_t events = 0;
  if (read(fd, &events, sizeof events) != sizeof events) Fail("read of the uio device");
}
void NotifyKernel(int fd) {
  std::uint32_t one = 1;
  if (write(fd, &one, sizeof one) != sizeof one) Fail("write to the uio device");
}

std::string Seconds(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  return text;
}

// Reports what the kernel posted from `seen` on, as it arrives (held
// commands included): each command, and each task management request.
// Returns where the next report starts.
std::uint32_t ReportArrivals(const CommandRing& ring, std::uint32_t seen) {
  RingEntry entry;
  for (int found; (found = RingPeekAt(&ring, seen, &entry)) != 0; seen = RingNext(&ring, &entry)) {
    if (found < 0) {
      errno = E2BIG;
      Fail("a command with too many data segments");
    }
    const std::string at = Seconds(NowMs());
    if (entry.isCommand) {
      const std::size_t seenBytes = std::min(CommandSize(entry.cdb[0]), kCommandBytesSeen);
      std::printf("drive: at %s received cdb %s id %u\n", at.c_str(),
                  Hex(entry.cdb, seenBytes).c_str(), entry.id);
    } else if (entry.isTaskManagement) {
      std::printf("drive: at %s task management %s for %u command(s):", at.c_str(),
                  entry.taskFunction, entry.taskCommandCount);
      for (std::uint32_t i = 0; i < entry.taskCommandCount && i < kRingMaxTaskIds; ++i) {
        std::printf(" id %u", entry.taskIds[i]);
      }
      std::printf("\n");
    }
  }
  return seen;
}

// One command: everything is read out of the entry before the answer is
// written, since the answer overlays the request.
bool Serve(const CommandRing& ring, const RingEntry& entry, DriveModel& model,
           const Settings& settings) {
  std::uint8_t cdb[kCommandBytesSeen] = {};
  const std::size_t seen = std::min(CommandSize(entry.cdb[0]), sizeof cdb);
  std::memcpy(cdb, entry.cdb, seen);
  std::vector<std::uint8_t> data;
  for (unsigned i = 0; i < entry.segmentCount; ++i) {
    const RingSegment& segment = entry.segments[i];
    data.insert(data.end(), segment.bytes, segment.bytes + segment.length);
  }
  if (cdb[0] == aspi::kDownloadOpcode && settings.holdMs > 0) {
    std::printf("drive: holding the download for %u ms\n", settings.holdMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(settings.holdMs));
  }
  const DriveReply reply = model.Execute(cdb, data.data(), data.size(), NowMs());

  std::size_t written = 0;
  for (unsigned i = 0; i < entry.segmentCount && written < reply.dataIn.size(); ++i) {
    const RingSegment& segment = entry.segments[i];
    const std::size_t part = std::min(segment.length, reply.dataIn.size() - written);
    std::memcpy(segment.bytes, reply.dataIn.data() + written, part);
    written += part;
  }
  RingAnswer(&ring, &entry, reply.status, reply.sense.data(), reply.sense.size(),
             reply.dataIn.size(), data.size());

  std::printf("drive: cdb %s (%zu bytes) data %zu -> status %u", Hex(cdb, seen).c_str(), seen,
              data.size(), reply.status);
  if (!reply.sense.empty()) {
    std::printf(" sense %x/%02x/%02x", reply.sense[2], reply.sense[12], reply.sense[13]);
  }
  std::printf("\n");
  if (cdb[0] == 0x1B && model.TrayOpen()) std::printf("drive: tray opened\n");
  if (reply.downloadTaken) {
    std::printf("drive: download taken, new revision %s, busy for %u ms\n",
                model.Revision().c_str(), settings.drive.busyMs);
  }
  return reply.downloadTaken;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const Settings settings = ParseSettings(argc, argv);
  std::size_t mapSize = 0;
  const std::string node = FindUio(settings.uio, mapSize);
  const int fd = open(node.c_str(), O_RDWR);
  if (fd < 0) Fail("open " + node);
  void* map = mmap(nullptr, mapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) Fail("mmap " + node);
  const CommandRing ring{static_cast<std::uint8_t*>(map)};
  std::printf("drive: ready on %s, command ring of %u bytes\n", node.c_str(), RingSize(&ring));

  DriveModel model(settings.drive);
  int answeredSinceDownload = -1;  // -1: no good download yet
  std::uint64_t holdUntil = 0;     // while not 0, no command is answered before it
  // Commands an earlier process left in the ring are answered at once: the
  // kernel posts nothing new while it waits for them.
  std::uint32_t seen = RingTail(&ring);
  for (bool started = false;; started = true) {
    if (started) WaitForKernel(fd, RingTail(&ring) != seen ? holdUntil : 0);
    seen = ReportArrivals(ring, seen);
    bool answered = false;
    RingEntry entry;
    while (RingTail(&ring) != seen && RingPeek(&ring, &entry) > 0) {
      if (entry.isCommand) {
        if (holdUntil != 0 && NowMs() < holdUntil) break;
        if (holdUntil != 0) {
          std::printf("drive: at %s the hold is over\n", Seconds(NowMs()).c_str());
          holdUntil = 0;
        }
        if (Serve(ring, entry, model, settings)) {
          answeredSinceDownload = 0;
          if (settings.holdAfterDownloadMs > 0) {
            holdUntil = NowMs() + settings.holdAfterDownloadMs;
            std::printf("drive: at %s holding every command for %u ms after the download\n",
                        Seconds(NowMs()).c_str(), settings.holdAfterDownloadMs);
          }
        } else if (answeredSinceDownload >= 0) {
          ++answeredSinceDownload;
        }
        answered = true;
      }
      RingRelease(&ring, &entry);
      if (answeredSinceDownload >= 0 && answeredSinceDownload == settings.vanishAfter) {
        NotifyKernel(fd);
        std::printf("drive: vanished after %d commands since the download\n",
                    answeredSinceDownload);
        return 0;
      }
    }
    if (answered) NotifyKernel(fd);
  }
}
