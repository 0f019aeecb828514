// The emulated drives' state between runs: DIR/ADAPTER-TARGET/firmware.bin
// (the 65536 bytes a drive rebuilt from its last good download) and
// DIR/ADAPTER-TARGET/revision (its revision, one line). Every file is written
// to a new temporary file of a random name, flushed to the disk and renamed
// over the old one, so a crash leaves the old file or the new one, never a
// part of either. DIR/ADAPTER-TARGET/.lock is locked (flock) shared while the
// files are read and exclusively while they are replaced: readers and other
// runs see both files of one save, never one of each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace emulated {

struct StoredDriveState {
  std::string revision;                // empty: none stored
  std::vector<std::uint8_t> firmware;  // empty: none stored
};

// The folder of one address: DIR/ADAPTER-TARGET.
std::filesystem::path DriveStateFolder(const std::filesystem::path& dir, unsigned adapter,
                                       unsigned target);

// Reads what `folder` holds; a missing folder or file is no error, a damaged
// one is (a firmware.bin of another size, a revision that is not 1 to 4
// printable characters).
bool LoadDriveState(const std::filesystem::path& folder, StoredDriveState& state,
                    std::string& error);

// Creates `folder` if needed and replaces both files atomically.
bool SaveDriveState(const std::filesystem::path& folder, const std::string& revision,
                    const std::vector<std::uint8_t>& firmware, std::string& error);

// Writes `size` bytes to `path` as image/atomic_file.h does, with the path
// in the error.
bool WriteFileAtomically(const std::filesystem::path& path, const void* data, std::size_t size,
                         std::string& error);

}  // namespace emulated
