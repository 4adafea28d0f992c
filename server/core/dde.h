// The DDE relay: what a client's DDE command or request asks of the server,
// and what the server answers.
//
// The conversation itself is the Windows shell's work (server/win/dde_client):
// the core decodes the request (ops_dde.cpp), hands a DdeCall to the client's
// DdeRelay and writes the answer back. The conversation cache and the rules
// for which failure gives which code are portable (dde_conversations.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "include/vard_enums.h"

namespace vard::server {

enum class DdeVerb : std::uint8_t { Execute, Request };

// The time-out of a DDE transaction in milliseconds, from the request's
// TimeOut (the caller's 16-bit value, sign-extended):
//   1 .. 32767   that many milliseconds;
//   0            kDefaultDdeTimeoutMs;
//   negative     its low 16 bits read unsigned (-1 is 65535 ms), so a 16-bit
//                caller can ask for up to 65.5 s.
// Values a 16-bit caller cannot send are clamped to 65535 ms.
constexpr std::uint32_t kDefaultDdeTimeoutMs = 5000;
constexpr std::uint32_t kMaxDdeTimeoutMs = 0xFFFF;
constexpr std::uint32_t DdeTimeoutMs(std::int32_t TimeOut) {
  if (TimeOut == 0) return kDefaultDdeTimeoutMs;
  if (TimeOut > 0) return TimeOut < 0xFFFF ? static_cast<std::uint32_t>(TimeOut) : kMaxDdeTimeoutMs;
  return TimeOut >= -0x8000 ? static_cast<std::uint32_t>(TimeOut) & 0xFFFFu : kMaxDdeTimeoutMs;
}

// DDE names (service, topic, item) are atoms: at most 255 characters.
constexpr std::size_t kMaxDdeNameLength = 255;

struct DdeCall {
  DdeVerb verb = DdeVerb::Request;
  std::string service;  // App
  std::string topic;
  std::string text;  // the command to execute, or the item to request
  std::uint32_t timeout_ms = kDefaultDdeTimeoutMs;
};

struct DdeOutcome {
  std::int16_t code = vardDdeUnknownError;  // a vardDdeError value
  std::string value;                        // a request's answer, whole
};

// One client's DDE conversations. Perform blocks the calling client only.
class DdeRelay {
 public:
  virtual ~DdeRelay() = default;
  virtual DdeOutcome Perform(const DdeCall& call) = 0;
  // Bytes of the ANSI character that `text` begins with (1 for a single-byte
  // code page), so that an answer is cut between characters, never inside.
  virtual std::size_t CharacterSize(std::string_view text) const = 0;
};

// The longest prefix of `text` of at most `limit` bytes that ends between two
// characters as `relay` sees them.
std::size_t WholeCharacterPrefix(std::string_view text, std::size_t limit, const DdeRelay& relay);

}  // namespace vard::server
