// The records of the collection format, written and read: one variable as
// one record, every byte passing through the record's CRC. Collection files
// (collection_writer.h, collection_reader.h) and the pool's journal
// (journal.h) are both sequences of these records; collection_format.h
// holds the constants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "include/vard_enums.h"
#include "server/core/collection_format.h"

namespace vard::server {

class InputFile;
class OutputFile;
struct Variable;

namespace collection {

// Buffered output: every byte passes through the CRC on its way out; large
// spans go to the file straight from where they lie. A write that fails
// spoils the output: nothing more is written.
class RecordOutput {
 public:
  explicit RecordOutput(OutputFile* file);
  RecordOutput(const RecordOutput&) = delete;
  RecordOutput& operator=(const RecordOutput&) = delete;

  void Put(const void* data, std::size_t size);
  void Put(const std::vector<std::byte>& bytes) { Put(bytes.data(), bytes.size()); }
  // The buffer to the file; false when that (or anything before) failed.
  bool Drain();
  // The CRC field that ends the header or a record.
  void SealSegment();

  // One variable as a whole record, its frame carrying `flags`. `options`
  // are vardCollOptions bits; they change only analog waveforms (see
  // docs/collections.md). May throw std::bad_alloc, which leaves a part of
  // the record out: call Spoil().
  void PutVariable(const Variable& v, std::uint16_t options, std::uint16_t flags = 0);
  // A record of `type` whose payload is `payload`, CRC included.
  void PutRecord(std::uint16_t type, std::uint16_t flags, const Encoder& payload);

  void Spoil() { spoiled_ = true; }
  bool spoiled() const { return spoiled_; }
  std::uint64_t written() const { return written_; }  // bytes put so far
  const CrcTracker& crc() const { return crc_; }
  CrcTracker& crc() { return crc_; }

 private:
  void PutWaveform(const Variable& v, std::uint16_t options, std::uint16_t flags);

  OutputFile* file_;
  std::vector<std::byte> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  CrcTracker crc_;
  bool spoiled_ = false;
};

// The encoded size of the record PutVariable writes for `v` unconverted.
std::uint64_t VariableRecordSize(const Variable& v);

// How reading stops early: the vardCollError code it answers. Thrown by
// Input and RecordReader, caught by whoever reads.
struct Failure {
  std::uint16_t code;
};
[[noreturn]] void Fail(std::uint16_t code);
void Check(bool ok, std::uint16_t code = vardCollCorruptedArchive);

// Buffered reading that passes every byte it hands out through the CRC.
class Input {
 public:
  explicit Input(InputFile& file);

  // At least n bytes (n <= the buffer) ready to take; a file that ends first
  // is truncated (vardCollCorruptedArchive).
  void Need(std::size_t n);
  const std::byte* Take(std::size_t n);
  // Between `unit` and `max` bytes, a whole number of units (max is one too).
  std::size_t TakeSpan(std::uint64_t max, std::size_t unit, const std::byte** p);
  bool AtEnd();
  CrcTracker& crc() { return crc_; }
  std::uint64_t offset() const { return offset_; }

 private:
  InputFile& file_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  std::uint64_t offset_ = 0;
  CrcTracker crc_;
};

// Reads records part by part; every read is bounded by the bytes left in the
// part being read (`left_`). Without `build` it only checks, keeping no more
// than names and paths.
class RecordReader {
 public:
  RecordReader(InputFile& file, std::string_view prefix, bool build)
      : in_(file), prefix_(prefix), build_(build) {}

  struct Frame {
    std::uint16_t type;
    std::uint16_t flags;
  };
  // A record's frame; afterwards the payload's length is what is left.
  // kEndOfRecords comes back without reading a length.
  Frame ReadFrame();
  static bool IsVariable(std::uint16_t type) {
    return type == kNumberRecord || type == kStringRecord || type == kWaveformRecord ||
           type == kFormulaRecord;
  }
  // The payload of a variable record (IsVariable(type)), whole.
  Variable ReadVariable(std::uint16_t type);
  // Name, path (with the prefix in front) and description.
  void ReadCommon(Variable* v);
  // The CRC field that ends a header or a record. It counts towards the
  // file's CRC but is a segment of its own.
  void SegmentCrc();

  template <class T>
  T Value() {
    Check(left_ >= sizeof(T));
    left_ -= sizeof(T);
    T v;
    std::memcpy(&v, in_.Take(sizeof v), sizeof v);
    return v;
  }
  // A text of at most `max` bytes; kept when building, or when `keep`.
  std::string Text(std::size_t max, bool keep = false);
  void Skip();

  Input& in() { return in_; }
  std::uint64_t left() const { return left_; }
  void SetLeft(std::uint64_t n) { left_ = n; }
  bool prefix_too_long() const { return prefix_too_long_; }

 private:
  void ReadWaveform(Variable* v);
  void ReadFormula(Variable* v);

  Input in_;
  const std::string_view prefix_;
  const bool build_;
  std::uint64_t left_ = 0;  // bytes left in the part being read
  bool prefix_too_long_ = false;
};

}  // namespace collection
}  // namespace vard::server
