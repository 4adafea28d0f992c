// The DDE relay's two operations: a command for another application to
// execute (110) and an item whose value it is asked for (111). The client's
// DdeRelay holds the conversation; this decodes the request and writes the
// answer.
#include <algorithm>
#include <cstring>
#include <optional>

#include "server/core/dde.h"
#include "server/core/dispatch.h"
#include "server/core/request_io.h"

namespace vard::server {
namespace {

using proto::DdeRequest;

// A service or topic: empty, or filling its whole field without a NUL (longer
// than the library sends), is no name at all.
template <std::size_t N>
std::optional<std::string> Name(const char (&field)[N]) {
  const std::string_view text = FieldText(field);
  if (text.empty() || text.size() == N) return std::nullopt;
  return std::string(text);
}

// The command or item runs on behind the record, up to kDdeTextMax bytes. It
// is copied out whole before it is looked at; without a NUL it is cut to
// kDdeTextMax - 1 bytes, as the library would have cut it.
std::string TextArea(const std::uint8_t* block) {
  std::string text(reinterpret_cast<const char*>(block) + proto::kDdeTextOffset,
                   proto::kDdeTextMax - 1);
  text.resize(std::min(text.find('\0'), text.size()));
  return text;
}

std::uint32_t Relay(const RequestContext& ctx, DdeVerb verb) {
  const auto req = ReadRecord<DdeRequest>(ctx.block);
  DdeCall call;
  call.verb = verb;
  call.text = TextArea(ctx.block);
  call.timeout_ms = DdeTimeoutMs(req.TimeOut);
  auto service = Name(req.App);
  auto topic = Name(req.Topic);
  if (!service || !topic) return static_cast<std::uint16_t>(vardDdeInvalidParameter);
  if (verb == DdeVerb::Request && (call.text.empty() || call.text.size() > kMaxDdeNameLength)) {
    return static_cast<std::uint16_t>(vardDdeInvalidParameter);
  }
  if (ctx.dde == nullptr) return static_cast<std::uint16_t>(vardDdeUnknownError);
  call.service = std::move(*service);
  call.topic = std::move(*topic);

  const DdeOutcome outcome = ctx.dde->Perform(call);
  // Only an answer is written; after a failure the field holds what the
  // client sent.
  if (verb == DdeVerb::Request && outcome.code == vardDdeNoError) {
    const std::string_view value = outcome.value;
    const std::size_t keep = WholeCharacterPrefix(value, proto::kDdeTextMax - 1, *ctx.dde);
    WriteText(ctx.block, proto::kDdeTextOffset, proto::kDdeTextMax, value.substr(0, keep));
  }
  return static_cast<std::uint16_t>(outcome.code);
}

std::uint32_t Command(const RequestContext& ctx) { return Relay(ctx, DdeVerb::Execute); }
std::uint32_t Request(const RequestContext& ctx) { return Relay(ctx, DdeVerb::Request); }

constexpr OpEntry kOps[] = {
    {proto::kDdeCommand, &Command},
    {proto::kDdeRequest, &Request},
};

}  // namespace

std::size_t WholeCharacterPrefix(std::string_view text, std::size_t limit, const DdeRelay& relay) {
  if (text.size() <= limit) return text.size();
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t next = end + std::max<std::size_t>(1, relay.CharacterSize(text.substr(end)));
    if (next > limit) break;
    end = next;
  }
  return end;
}

std::span<const OpEntry> DdeOps() { return kOps; }

}  // namespace vard::server
