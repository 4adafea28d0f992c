// The waveform store: how the pool holds waveforms and answers sample reads,
// reductions, single values and writes.
//
// A published waveform is an immutable WaveformData shared through
// std::shared_ptr<const WaveformData>. Readers (a locked Src, a single-value
// lookup) keep the snapshot they took; a WaveformWriter starts from one,
// keeps its changes private and hands out a new snapshot at Publish(), which
// the pool swaps in. Samples live in fixed-size chunks shared between
// snapshots and writers, so opening, publishing and reading a range cost in
// proportion to what they touch, never to the whole waveform: the server is a
// 32-bit process and a 100-million-sample waveform must not be copied.
//
// Every operation returns a vardReturnCode value (include/vard_enums.h) and
// never throws; running out of memory is reported as vardOutOfMemory with the
// object unchanged. docs/waveforms.md describes the model and every code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "include/vard_enums.h"

namespace vard::server {

// Bytes per element of a sample type, stored or requested: 4 for float, 2 for
// every other value, as the client library sizes its transfers.
constexpr std::size_t ElementSize(std::int16_t type) { return type == vardFloat ? 4 : 2; }

// Samples per storage chunk (256 KiB of floats). Large enough that the chunk
// tables stay tiny (1526 entries for 100 M samples), small enough that a
// copy-on-write of one touched chunk is cheap.
constexpr std::int32_t kChunkSamples = 65536;
// Blocks are addressed by a 16-bit signed field.
constexpr std::int32_t kMaxBlocks = 32767;
// Sample indices are 32-bit signed; blocks × length may not exceed this.
constexpr std::int64_t kMaxTotalSamples = 0x7FFFFFFF;

struct Axis {
  double origin = 0.0;  // X0 or Y0
  double step = 1.0;    // XStep or YStep
  std::string units;    // at most kMaxUnits characters
};
constexpr std::size_t kMaxUnits = 9;

struct BlockInfo {
  double triggerTime = 0.0;
  std::int16_t year = 0;
  std::int16_t month = 0;
  std::int16_t day = 0;
};

class WaveformWriter;

class WaveformData {
 public:
  // A new empty waveform: one block of length 0, default axes.
  // vardInvalidType unless type is digital, integer or float.
  static std::uint16_t Create(std::int16_t type, std::shared_ptr<const WaveformData>* out);
  static bool IsValidType(std::int16_t type);

  std::int16_t type() const { return type_; }
  std::int32_t length() const { return length_; }  // samples per block
  std::int32_t blocks() const { return static_cast<std::int32_t>(blocks_.size()); }
  // True once the length was set explicitly (or several blocks exist): a
  // write past the end then appends blocks instead of growing block 0.
  bool lengthFixed() const { return length_fixed_; }
  const Axis& x() const { return x_; }
  const Axis& y() const { return y_; }
  // Bytes of sample storage this snapshot references; chunks shared with
  // other snapshots count in each, runs of zeros that were never written not at all.
  std::int64_t storedBytes() const;

  // Trigger time and date of a block; vardNoSuchData for a block that does not exist.
  std::uint16_t Info(int block, BlockInfo* out) const;

  // Samples first..last (inclusive) of a block, as dataType, reduced to a
  // minimum and a maximum per group of `reduction` samples when reduction >= 2.
  // Writes the elements to out (any alignment) and their byte count to
  // *bytesWritten; writes nothing on failure.
  std::uint16_t Read(int block, std::int32_t first, std::int32_t last, std::uint16_t reduction,
                     std::int16_t dataType, void* out, std::size_t capacityBytes,
                     std::size_t* bytesWritten) const;

  // Elements a Read of n samples produces.
  static std::int64_t ReadElementCount(std::int64_t n, std::uint16_t reduction);

  // The physical Y value at position x of a block.
  std::uint16_t ValueAt(int block, double x, double* y) const;

 private:
  friend class WaveformWriter;
  struct Chunk;
  using ChunkPtr = std::shared_ptr<Chunk>;
  struct Block {
    BlockInfo info;
    std::vector<ChunkPtr> chunks;  // null: all zeros
  };

  explicit WaveformData(std::int16_t type) : type_(type) {}

  const std::byte* ChunkBytes(const Block& b, std::int32_t chunk) const;
  // Calls f(bytes, count) for each stretch of one chunk covering
  // [first, first + count) of a block.
  template <class F>
  void ForEachSpan(const Block& b, std::int32_t first, std::int32_t count, F&& f) const;
  double Physical(const Block& b, std::int32_t index) const;
  void CopyRaw(const Block& b, std::int32_t first, std::int32_t count, std::byte* out) const;

  std::int16_t type_;
  std::int32_t length_ = 0;
  bool length_fixed_ = false;
  std::vector<Block> blocks_;
  Axis x_, y_;
};

// Changes to one waveform, private until Publish(). Used by one client at a
// time; may run concurrently with readers of any snapshot, including the one
// it started from. Not copyable: its private chunks have exactly one owner.
class WaveformWriter {
 public:
  explicit WaveformWriter(std::shared_ptr<const WaveformData> base);
  WaveformWriter(const WaveformWriter&) = delete;
  WaveformWriter& operator=(const WaveformWriter&) = delete;
  WaveformWriter(WaveformWriter&&) noexcept = default;
  WaveformWriter& operator=(WaveformWriter&&) noexcept = default;

  // The writer's current state (including unpublished changes).
  const WaveformData& current() const { return own_ ? *own_ : *base_; }
  std::int16_t type() const { return current().type(); }

  // Samples first..last in the writer's index space (sample s is sample
  // s % length of block s / length), raw in the waveform's own type,
  // (last - first + 1) × ElementSize(type()) bytes from src.
  std::uint16_t Write(std::int32_t first, std::int32_t last, const void* src, std::size_t srcBytes);
  // The same index space read back raw.
  std::uint16_t ReadBack(std::int32_t first, std::int32_t last, void* out,
                         std::size_t capacityBytes, std::size_t* bytesWritten) const;
  // Every block extended with zeros or cut to newLength samples.
  std::uint16_t SetLength(std::int32_t newLength);
  std::uint16_t SetHorizontal(double x0, double xStep, std::string_view units);
  std::uint16_t SetVertical(double y0, double yStep, std::string_view units);
  // Describes the block holding the most recently written sample (block 0
  // before any write).
  std::uint16_t SetBlockInfo(const BlockInfo& info);
  std::int32_t currentBlock() const { return current_block_; }

  // The writer's state as a new immutable snapshot (the base itself when
  // nothing changed). The writer stays usable; later changes copy again.
  std::shared_ptr<const WaveformData> Publish() noexcept;

 private:
  using Chunk = WaveformData::Chunk;
  using ChunkPtr = WaveformData::ChunkPtr;
  using Block = WaveformData::Block;
  struct Fresh;

  WaveformData& Own();  // may throw std::bad_alloc
  bool Owns(const ChunkPtr& c) const;
  ChunkPtr NewChunk(std::int32_t capacity) const;  // may throw std::bad_alloc
  std::uint16_t DoWrite(std::int32_t first, std::int32_t last, const void* src);
  std::uint16_t DoSetLength(std::int32_t newLength);

  std::shared_ptr<const WaveformData> base_;
  std::shared_ptr<WaveformData> own_;  // null until the first change after a publish
  std::uint64_t token_;                // marks chunks this writer may change in place
  std::int32_t current_block_ = 0;
};

}  // namespace vard::server
