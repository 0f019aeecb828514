// Intel HEX reader that builds the 64 KiB firmware image.
//
// The reader accepts the 16-bit-address form of the format: data records (type 0x00)
// and the end-of-file record (type 0x01). It is deliberately lenient in a few ways and
// strict in others:
//  - the end-of-file record must come: text that ends before it (a cut copy, a Ctrl-Z
//    between records) is damaged;
//  - behind the first end-of-file record only text may follow: a data record there
//    (two files joined) would be lost, so the file is damaged; text, a Ctrl-Z, more
//    end-of-file records, damaged records and records that store nothing are passed
//    over, and the text is read only until it ends or such a data record comes;
//  - text outside records is skipped, except hex digits (before the end-of-file
//    record): a word of them without a letter beyond F (a record whose ':' was lost)
//    is damaged;
//  - a lone digit left over after a record's last pair is dropped: a record is judged
//    by its pairs, so one too many digit after a sound record does no harm, while a
//    digit missing inside a record leaves pairs that fail the record's checks;
//  - any character from '0' (0x30) upward counts as a digit, ':' included, and is
//    decoded by HexPairToByte's rules; only the record checksum catches a bad digit;
//  - a record holds at most 251 data bytes (256 decoded bytes in all), and only the
//    addresses 0x0000 to 0xFEFF can be loaded;
//  - start-address records (0x03, 0x05) are passed over; address-extension records
//    (0x02, 0x04) are accepted only with the value 0, since any other base would move
//    later data away from the addresses the image is built for; every other type is
//    refused as damaged;
//  - the file is read as text: a Ctrl-Z (0x1A) ends it, as text-mode reading does on
//    the platform the image files come from, so a file checks the same everywhere; one
//    after the end-of-file record ends the text there, one before it makes the file
//    damaged (the records behind it would be lost).
// Results are reported through the return value and g_resultCode (image/result_codes.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Bytes of the firmware image; byte index = firmware address.
inline constexpr std::size_t kFirmwareImageSize = 65536;
// First address that cannot be loaded; 0xFF00 to 0xFFFF always hold 0xFF.
inline constexpr std::uint32_t kLoadableLimit = 0xFF00;
// Decoded bytes one record may have: length, address (2), type, data, checksum.
inline constexpr std::size_t kDecodeBufferSize = 256;
// Most data bytes one record may carry.
inline constexpr std::size_t kMaxRecordData = kDecodeBufferSize - 5;
// Storage ReadHexRecord needs: address high, address low, length, data.
inline constexpr std::size_t kHexRecordSize = 3 + kMaxRecordData;

// An image whose records set fewer bytes than this (1/16 of the 65280 that can
// be loaded) is more likely a fragment or a test file than firmware: it is
// warned about before it is sent, since every byte it leaves out is sent as
// 0xFF. A vendor's image sets far more; 0 bytes is refused outright.
inline constexpr std::size_t kFewDataBytes = kLoadableLimit / 16;

// "FILE sets only N of the 65280 bytes ..." when 0 < dataBytes < kFewDataBytes,
// otherwise "".
std::string FewDataBytesWarning(const std::string& file, std::size_t dataBytes);

// Decodes a pair of digit characters. Each character c, taken as a signed 8-bit value,
// has the digit value c - 0x57 when c >= 'a', c - 0x37 when 'A' <= c < 'a', and
// c - 0x30 otherwise (bytes 0x80-0xFF are negative and fall in the last case). The
// result is (high * 16 | low) modulo 256. No character is refused.
std::uint8_t HexPairToByte(char high, char low);

// Reads the next record from `stream` (an input stream opened by the caller), starting
// at its current position, into `record` (kHexRecordSize bytes): address high, address
// low, data length N, then the N data bytes.
// Returns true for a sound data record. Returns false with g_resultCode
//   0  at a sound end-of-file record, once the text behind it has been read to its
//      end (the end of the stream or a Ctrl-Z) without a data record,
//   15 for a damaged record (pair count is not N + 5, wrong checksum, more than 256
//      pairs, an unsupported record type or a malformed extension record), for hex
//      digits outside records, when the text ends before an end-of-file record, and
//      for a data record with data behind the end-of-file record,
//   4  when reading the stream failed.
// A null stream gives false with code 4.
bool ReadHexRecord(std::FILE* stream, std::uint8_t* record);

// Builds the image at `image` (kFirmwareImageSize writable bytes) from the Intel HEX
// file `path`. Fills the image with 0xFF, then stores every data record; records may
// come in any order and later ones overwrite earlier ones.
// Returns true, with g_resultCode 0, when the file was read to its end-of-file record,
// every record was sound and in range, and no data record follows it. Returns false with
//   4  when the file cannot be opened or read, or is no regular file (the image
//      untouched when nothing could be read at all; a null path counts as a file
//      that cannot be opened),
//   15 at the first damaged record or stray hex digits, when the text ends before
//      the end-of-file record, or at a data record behind it,
//   16 at the first data byte at address 0xFF00 or above (the bytes of that record
//      below 0xFF00 are stored).
// The first failure ends the load; what was stored before it stays in the image. The
// bytes behind the image are never touched. The file is closed on every way out.
bool LoadHexImage(const char* path, std::uint8_t* image);

// What a failed load found, for a diagnostic beside the result message (whose
// texts stay as they are).
struct HexLoadProblem {
  // The line of the record that failed (1 for the first), counted by line
  // feeds; 0 when the failure belongs to no record (the file itself).
  unsigned line = 0;
  // What is wrong, in words: "its checksum byte is 0x12 but the record needs
  // 0x34", "the system says: No such file or directory".
  std::string what;
};

// LoadHexImage that also says what failed, in `problem` (may be null); the
// result and g_resultCode are those of LoadHexImage. On success `problem` is
// left as it is.
bool LoadHexImage(const char* path, std::uint8_t* image, HexLoadProblem* problem);

// "FILE, line 12: what" or "FILE: what", for standard error and run summaries.
std::string DescribeHexLoadProblem(const std::string& file, const HexLoadProblem& problem);

// As above; `dataBytes` receives how many bytes of the image the file's data
// records set (a byte set twice counts once; records of length 0 set none). A file
// whose records store no byte (only an end-of-file record, or data records of length 0
// before it) loads as an all-0xFF image with checksum 0000: flashing that would erase
// the drive's firmware, so callers that send an image refuse one with no data bytes.
// An empty file, or text without records, has no end-of-file record and does not load
// (code 15). With `problem` (may be null) a failed load also says what failed, and
// with `fileSha256` (may be null) a loaded image also gives the SHA-256 of its file as
// `sha256sum` prints it, taken from the very bytes the image was built from as they
// were read (the file is read to its end for it, behind an end-of-file record and a
// Ctrl-Z too); empty when the load failed.
bool LoadHexImage(const char* path, std::uint8_t* image, std::size_t& dataBytes,
                  HexLoadProblem* problem = nullptr, std::string* fileSha256 = nullptr);
