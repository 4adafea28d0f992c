// Decoding and dispatching one request of one client.
//
// The Windows shell answers attach, detach, init and exit (codes 1 to 4)
// itself and hands every other code to Dispatch. Dispatch finds the handler
// that the operation's family registered, checks the RecordSize the library
// announces for that code, and lets the handler do the rest.
//
// Adding a family: write ops_<family>.cpp defining
//     std::span<const OpEntry> <Family>Ops();
// in this namespace, and add one line VARD_OP_FAMILY(<Family>) to
// families.inc. Codes of the request registry that no family has registered
// yet are answered with vardProcNotAllowed.
#pragma once

#include <cstdint>
#include <span>

#include "include/vard_enums.h"

namespace vard::server {

class Pool;
class Session;

struct RequestContext {
  Pool& pool;
  Session& session;
  std::uint32_t opcode;
  // kBlockSize bytes of memory the client shares with us and may change at
  // any moment: copy the record out with ReadRecord before looking at it.
  std::uint8_t* block;
};

// The reply; only its low 16 bits reach the client.
using OpHandler = std::uint32_t (*)(const RequestContext&);

enum class ReplyKind : std::uint8_t {
  Code,        // a reply code: malformed requests get vardInvalidParameter
  TruthValue,  // 1 or 0 in place of a code: anything that fails answers 0
};

struct OpEntry {
  std::uint32_t opcode;
  OpHandler handler;
  ReplyKind reply = ReplyKind::Code;
};

// Each family's table; defined in its ops_<family>.cpp.
#define VARD_OP_FAMILY(Family) std::span<const OpEntry> Family##Ops();
#include "server/core/families.inc"
#undef VARD_OP_FAMILY

// Performs one request. `block` is the client's kBlockSize-byte request
// block. Answers:
//   vardInvalidParameter  code outside the request registry (1 to 4 included),
//                      or RecordSize not the one the library sends for it
//   vardProcNotAllowed    code in the registry whose family is not built yet
//   otherwise          whatever the operation answers
// An exception inside a handler becomes vardOutOfMemory (std::bad_alloc) or
// vardInternalError; truth-value operations answer 0 for all of these.
std::uint32_t Dispatch(Pool& pool, Session& session, std::uint32_t opcode, std::uint8_t* block);

// Whether a family has registered a handler for the code.
bool IsImplemented(std::uint32_t opcode) noexcept;

}  // namespace vard::server
