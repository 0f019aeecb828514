// A drive of the model in user space, behind the kernel's loopback SCSI
// target: target_core_user hands each command to this process through a
// shared command ring on /dev/uioN; the answer goes back into the same ring
// entry. Built statically so that it runs in the virtual machine's
// initramfs as it is.
//
//   qtr5-vm-user-drive [--busy MS] [--refuse] [--unit-attention]
//                      [--hold MS] [--vanish N] [--uio /dev/uioN]
//
// --busy MS          NOT READY (04/07) for MS milliseconds after a good download (3000)
// --refuse           every download fails: HARDWARE ERROR, write error
// --unit-attention   UNIT ATTENTION 29/00 on the first command other than INQUIRY
// --hold MS          the download command completes only after MS milliseconds
// --vanish N         after a good download, answer N more commands, then exit:
//                    later commands are never completed by the drive
// --uio PATH         the device to serve (default: the first one of the target layer)
//
// Every command is reported on standard output as one line starting with
// "drive: ", so a test can follow what reached the drive.
#include <fcntl.h>
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
  int vanishAfter = -1;
  std::string uio;
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "drive: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

constexpr const char* kUsage =
    "usage: qtr5-vm-user-drive [--busy MS] [--refuse] [--unit-attention] [--hold MS] [--vanish N] "
    "[--uio /dev/uioN]\n";

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
    const std::string node = "/dev/" + entry.path().filename().string();
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

// The uio device: a read blocks until the kernel posts, a write tells it
// that answers are waiting.
void WaitForKernel(int fd) {
  std::uint32_t events = 0;
  if (read(fd, &events, sizeof events) != sizeof events) Fail("read of the uio device");
}
void NotifyKernel(int fd) {
  std::uint32_t one = 1;
  if (write(fd, &one, sizeof one) != sizeof one) Fail("write to the uio device");
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
  for (;;) {
    WaitForKernel(fd);
    bool answered = false;
    RingEntry entry;
    for (int found; (found = RingPeek(&ring, &entry)) != 0;) {
      if (found < 0) {
        errno = E2BIG;
        Fail("a command with too many data segments");
      }
      if (entry.isCommand) {
        if (Serve(ring, entry, model, settings)) {
          answeredSinceDownload = 0;
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
