#include "server/core/dispatch.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "include/vard_protocol.h"

namespace vard::server {
namespace {

// Every code of the request registry is below this.
constexpr std::uint32_t kOpcodeLimit = 128;

using Table = std::array<const OpEntry*, kOpcodeLimit>;

Table BuildTable() {
  Table table{};
  const std::span<const OpEntry> families[] = {
#define VARD_OP_FAMILY(Family) Family##Ops(),
#include "server/core/families.inc"
#undef VARD_OP_FAMILY
  };
  for (const auto family : families) {
    for (const OpEntry& entry : family) {
      // Registering a code twice, or one the library never sends, is a
      // programming error that every test run hits at its first request.
      if (entry.opcode >= kOpcodeLimit || proto::RequestLength(entry.opcode) == 0 ||
          table[entry.opcode] != nullptr || entry.handler == nullptr) {
        std::fprintf(stderr, "vard server: bad registration of operation code %u\n",
                     static_cast<unsigned>(entry.opcode));
        std::abort();
      }
      table[entry.opcode] = &entry;
    }
  }
  return table;
}

const Table& Registry() {
  static const Table table = BuildTable();
  return table;
}

std::uint32_t Failure(const OpEntry& entry, std::uint32_t code) noexcept {
  return entry.reply == ReplyKind::TruthValue ? 0 : code;
}

}  // namespace

bool IsImplemented(std::uint32_t opcode) noexcept {
  return opcode < kOpcodeLimit && Registry()[opcode] != nullptr;
}

std::uint32_t Dispatch(Pool& pool, Session& session, std::uint32_t opcode, std::uint8_t* block) {
  if (opcode >= kOpcodeLimit || proto::RequestLength(opcode) == 0) return vardInvalidParameter;
  const OpEntry* entry = Registry()[opcode];
  if (entry == nullptr) return vardProcNotAllowed;

  std::uint32_t record_size;
  std::memcpy(&record_size, block, sizeof record_size);
  if (record_size != proto::AnnouncedRecordSize(opcode)) return Failure(*entry, vardInvalidParameter);

  try {
    return entry->handler(RequestContext{pool, session, opcode, block}) & 0xFFFFu;
  } catch (const std::bad_alloc&) {
    return Failure(*entry, vardOutOfMemory);
  } catch (...) {
    return Failure(*entry, vardInternalError);
  }
}

}  // namespace vard::server
