// Helpers for the request routines of the operation families.
#pragma once

#include <cstdint>
#include <cstring>

#include "include/vard32.h"
#include "include/vard_protocol.h"
#include "link/connection.h"

namespace vard::link {

// Starts a request of record type R: clears the record at the start of the
// block and writes its RecordSize. Only the record is cleared, never the
// whole block.
template <class R>
R& BeginRequest(ServerConnection& c, std::uint32_t recordSize = sizeof(R)) {
  auto* record = reinterpret_cast<R*>(c.BlockView());
  std::memset(record, 0, sizeof(R));
  record->RecordSize = recordSize;
  return *record;
}

// Sends the request and returns the reply code: the low 16 bits of the answer.
inline short Send(ServerConnection& c, std::uint32_t code) {
  return static_cast<short>(static_cast<std::uint16_t>(c.SendRequest(code)));
}

// Bounded copy: at most limit - 1 characters and a NUL; a limit of 0 (or
// less) writes nothing. A null source reads as the empty text. Unlike the
// platform's lstrcpyn it lets a fault on a bad pointer reach the frame.
inline void CopyText(char* destination, const char* source, int limit) {
  if (limit <= 0) return;
  int i = 0;
  if (source) {
    for (; i < limit - 1 && source[i] != '\0'; ++i) destination[i] = source[i];
  }
  destination[i] = '\0';
}

// Writes a text argument into a request field, cut to the field's width.
template <std::size_t N>
void PutText(char (&field)[N], const char* text) {
  CopyText(field, text, static_cast<int>(N));
}

}  // namespace vard::link
