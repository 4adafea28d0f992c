// The collection file format: its constants, and the CRC bookkeeping that
// the writer and the reader share. docs/collections.md describes the format
// byte by byte; this header is its one definition in code.
//
//   header   magic (8) · version u16 · flags u16 · length H u32 ·
//            H bytes: created i64 · writer text · comment text · CRC-32 u32
//   records  type u16 · flags u16 · payload length u64 · payload · CRC-32 u32
//   trailer  0xFFFF u16 · 0 u16 · record count u32 · trailer offset u64 ·
//            CRC-32 of every byte before it u32
//
// Every number is little-endian; every text is a u16 byte count and its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

#include "server/core/crc32.h"

namespace vard::server::collection {

// PNG-style: a non-ASCII first byte and a CR LF pair show a file mangled by a
// text-mode transfer as not a collection rather than as a corrupted one.
inline constexpr std::uint8_t kMagic[8] = {0x89, 'V', 'A', 'R', 'D', '\r', '\n', 0x1A};
inline constexpr std::uint16_t kFormatVersion = 1;

// Byte sizes of the fixed parts.
inline constexpr std::size_t kHeaderPrefixSize = 16;  // magic, version, flags, length H
inline constexpr std::size_t kFrameSize = 12;         // type, flags, payload length
inline constexpr std::size_t kCrcSize = 4;
inline constexpr std::size_t kTrailerSize = 20;
inline constexpr std::size_t kBlockInfoSize = 14;  // trigger time f64, year, month, day i16
// A header longer than this is not one this format writes.
inline constexpr std::uint32_t kMaxHeaderLength = 8192;

enum RecordType : std::uint16_t {
  kNumberRecord = 1,
  kStringRecord = 2,
  kWaveformRecord = 3,
  // A computed number (the formula database): common part, then the
  // formula text as written and the units. Loaded through the formula table.
  kFormulaRecord = 4,
  kEndOfRecords = 0xFFFF,  // the trailer
};

// Waveform payload: flags byte.
inline constexpr std::uint8_t kLengthFixed = 1;  // writes past the end add blocks
// Waveform payload: how the samples were stored.
enum Conversion : std::uint8_t {
  kAsIs = 0,
  kForcedInteger = 1,  // float samples scaled to 16 bits (vardForceInteger)
  kForcedEvent = 2,    // analog samples cut to 0/1 at a threshold (vardForceEvent)
};

inline constexpr std::size_t kMaxCommentLength = 4095;
inline constexpr std::size_t kMaxWriterLength = 255;
inline constexpr char kWriterName[] = "VARD data-pool server, collection format 1";

// Little-endian encoding into bytes: the writer's headers and small payload
// parts (the host is little-endian, which crc32.cpp asserts).
struct Encoder {
  std::vector<std::byte> bytes;

  template <class T>
  Encoder& Value(T value) {
    static_assert(std::is_arithmetic_v<T>);
    const auto at = bytes.size();
    bytes.resize(at + sizeof value);
    std::memcpy(bytes.data() + at, &value, sizeof value);
    return *this;
  }
  // A u16 byte count and the bytes; texts of this format are far shorter.
  Encoder& Text(std::string_view text) {
    Value(static_cast<std::uint16_t>(text.size()));
    const auto at = bytes.size();
    bytes.resize(at + text.size());
    if (!text.empty()) std::memcpy(bytes.data() + at, text.data(), text.size());
    return *this;
  }
};

// The CRCs of a stream of bytes: the running CRC of the current segment (a
// header or a record), and the CRC of everything before it, which segments
// are folded into as they end. So every byte passes through one CRC only,
// and the file's CRC comes from its segments' CRCs.
class CrcTracker {
 public:
  void Add(const void* data, std::size_t size) noexcept {
    segment_ = Crc32Update(segment_, data, size);
    segment_length_ += size;
  }
  // Ends the current segment and answers its CRC; the next byte starts a new one.
  std::uint32_t EndSegment() noexcept {
    const std::uint32_t crc = segment_;
    before_ = Crc32Combine(before_, segment_, segment_length_);
    segment_ = 0;
    segment_length_ = 0;
    return crc;
  }
  // The CRC of every byte added, up to the last EndSegment.
  std::uint32_t Crc() const noexcept { return before_; }

 private:
  std::uint32_t segment_ = 0;
  std::uint64_t segment_length_ = 0;
  std::uint32_t before_ = 0;
};

}  // namespace vard::server::collection
