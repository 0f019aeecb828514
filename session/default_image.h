// The default image: the file the flow flashes when none is named, looked
// for in the current folder, and what is told when it is not there.
#pragma once

inline constexpr const char* kDefaultImageName = "QTR5_ORNA.HEX";
inline constexpr const char* kTextDefaultMissing = "QTR5_ORNA.HEX file not found.";
inline constexpr const char* kCaptionDefaultMissing = "ZAZADUZ_AUTO";

// The default image in the current directory: usable (it opens for reading
// and writing; only a regular file counts, checked on what was opened),
// missing, or there but not writable (and so passed over: a file that
// could not be replaced counts as absent). The file is never written.
enum class DefaultImage { kUsable, kMissing, kNotWritable };
DefaultImage CheckDefaultImage();
