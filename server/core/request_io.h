// Reading requests from, and writing replies into, the shared request block.
//
// The block is mapped by the client as well, and the client (or anything
// else in its process) may change it while we read. So a handler copies its
// fixed record into a local struct once, validates and decodes only that
// copy, and writes nothing but its own reply fields back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "include/vard_protocol.h"

namespace vard::server {

template <class Record>
Record ReadRecord(const std::uint8_t* block) noexcept {
  static_assert(std::is_trivially_copyable_v<Record>);
  static_assert(sizeof(Record) <= proto::kBlockSize);
  Record r;
  std::memcpy(&r, block, sizeof r);
  return r;
}

// The text of a fixed-width field of the local copy: up to the first NUL, or
// the whole width when the sender left no NUL.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) noexcept {
  const void* nul = std::memchr(field, 0, N);
  return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : N};
}

// Writes `text` into the reply field [offset, offset + width): at most
// width - 1 bytes and a NUL, the way the library's bounded copy reads it back.
inline void WriteText(std::uint8_t* block, std::size_t offset, std::size_t width,
                      std::string_view text) noexcept {
  if (width == 0 || offset > proto::kBlockSize || width > proto::kBlockSize - offset) return;
  const std::size_t n = text.size() < width - 1 ? text.size() : width - 1;
  std::memcpy(block + offset, text.data(), n);
  block[offset + n] = 0;
}

template <class T>
void WriteValue(std::uint8_t* block, std::size_t offset, const T& value) noexcept {
  static_assert(std::is_trivially_copyable_v<T>);
  if (offset > proto::kBlockSize || sizeof(T) > proto::kBlockSize - offset) return;
  std::memcpy(block + offset, &value, sizeof(T));
}

}  // namespace vard::server

// Offset and width of a record's field, for WriteText.
#define VARD_REPLY_FIELD(Record, Field) offsetof(Record, Field), sizeof(Record::Field)
