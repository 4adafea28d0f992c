// Writing a collection file: one open collection between CreateCollection
// and CloseCollection.
//
// Everything goes to a temporary file in the target's folder; Commit writes
// the trailer, flushes the file to the disk and only then puts it in the
// target's place, in one atomic replacement. Until then the target is
// untouched, and a writer destroyed without a successful Commit (the client
// closed a failed collection, or died, or the server is shutting down)
// removes its temporary file. A crash leaves at worst that temporary file
// ("~vard*.tmp" beside the target), never a torn target.
//
// Codes are vardCollError values (include/vard_enums.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/core/collection_format.h"

namespace vard::server {

class FileSystem;
class OutputFile;
struct Variable;

class CollectionWriter {
 public:
  // A new collection for `target` (an absolute path), its header written with
  // `comment` (cut to 4095 bytes) and the creation time `created` (seconds
  // since 1970-01-01 UTC). vardCollFileCreate when the target is not an
  // absolute path or the temporary file cannot be created, vardCollFileWrite
  // when the header cannot be written, vardCollOutOfMemory.
  static std::uint16_t Create(FileSystem& fs, const std::string& target, std::string_view comment,
                              std::int64_t created, std::unique_ptr<CollectionWriter>* out);
  ~CollectionWriter();
  CollectionWriter(const CollectionWriter&) = delete;
  CollectionWriter& operator=(const CollectionWriter&) = delete;

  // Appends one variable as `v` holds it (a copy taken under the pool's lock;
  // a waveform's samples come from its immutable snapshot). `options` are
  // vardCollOptions bits; they change only analog waveforms (see
  // docs/collections.md). vardCollFileWrite when the file cannot be written:
  // the collection is then spoiled, and every later Add and the Commit answer
  // the same. vardCollOutOfMemory.
  std::uint16_t Add(const Variable& v, std::uint16_t options);

  // Trailer, flush, close, replace. vardCollFileWrite when any of it fails
  // (the target is then as it was) or the collection was spoiled.
  std::uint16_t Commit();

  std::size_t records() const { return records_; }

 private:
  CollectionWriter(FileSystem& fs, std::string target);

  // Buffered output: every byte passes through the CRC on its way out; large
  // spans go to the file straight from where they lie.
  void Put(const void* data, std::size_t size);
  void Put(const std::vector<std::byte>& bytes) { Put(bytes.data(), bytes.size()); }
  bool Drain();  // the buffer to the file
  // The CRC field that ends the header or a record.
  void SealSegment();
  std::uint16_t EndRecord();

  void AddWaveform(const Variable& v, std::uint16_t options);

  FileSystem& fs_;
  const std::string target_;
  std::string temp_;
  std::unique_ptr<OutputFile> file_;
  std::vector<std::byte> buffer_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;  // bytes put so far
  collection::CrcTracker crc_;
  std::uint32_t records_ = 0;
  bool spoiled_ = false;
  bool committed_ = false;
};

}  // namespace vard::server
