// Variable queries and deletion: GetType, GetDescription, DeleteSubTree,
// DeleteVariable, and the two waveform tests.
#include <iterator>

#include "server/core/dispatch.h"
#include "server/core/lookup.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"

namespace vard::server {
namespace {

using proto::ScalarRequest;
using proto::VariableRequest;
using proto::WaveformRequest;

std::uint32_t GetType(const RequestContext& ctx) {
  // GetType announces only 4 bytes, but the library cleared and filled the
  // whole record, so reading all of it is safe.
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  return WithVariable(ctx.pool.Read(), FieldText(req.Name), std::nullopt, [&](const Variable& v) {
    WriteValue(ctx.block, offsetof(WaveformRequest, Type), static_cast<std::int16_t>(v.Type()));
  });
}

std::uint32_t GetDescription(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return WithVariable(ctx.pool.Read(), FieldText(req.Name), std::nullopt, [&](const Variable& v) {
    WriteText(ctx.block, VARD_REPLY_FIELD(ScalarRequest, Description), v.description);
  });
}

std::uint32_t DeleteVariable(const RequestContext& ctx) {
  const auto req = ReadRecord<VariableRequest>(ctx.block);
  const std::string_view name = FieldText(req.Name);
  auto pool = ctx.pool.Write();
  return WithVariable(pool, name, std::nullopt, [&](const Variable& v) -> std::uint32_t {
    if (v.OpenForWriting()) return vardProcNotAllowed;
    pool.Erase(name);  // `v` is gone from here on
    return vardOK;
  });
}

// Removes the subtree as far as it can: a waveform open for writing stays,
// the rest goes, and the answer tells that something stayed.
std::uint32_t DeleteSubTree(const RequestContext& ctx) {
  const auto req = ReadRecord<VariableRequest>(ctx.block);
  const std::string_view prefix = FieldText(req.NavigatorPathName);
  // An empty prefix would be the whole pool; nobody means that by accident
  // of an empty text field, so it is refused.
  // A prefix that fills the whole field without a NUL is longer than the
  // library ever sends; it is refused like any name or path that long.
  if (prefix.empty() || prefix.size() >= sizeof req.NavigatorPathName || !IsValidPath(prefix)) {
    return vardInvalidName;
  }
  auto pool = ctx.pool.Write();
  bool matched = false;
  bool kept = false;
  pool.EraseIf([&](const Variable& v) {
    if (!PathInSubtree(v.path, prefix)) return false;
    matched = true;
    if (v.OpenForWriting()) {
      kept = true;
      return false;
    }
    return true;
  });
  if (!matched) return vardNoSuchObject;
  return kept ? vardProcNotAllowed : vardOK;
}

// The waveform tests answer a truth value instead of a reply code.
template <vardDataType Wanted>
std::uint32_t IsWaveformOf(const RequestContext& ctx) {
  const auto req = ReadRecord<VariableRequest>(ctx.block);
  bool yes = false;
  WithVariable(ctx.pool.Read(), FieldText(req.Name), Kind::Waveform,
               [&](const Variable& v) { yes = v.SampleType() == Wanted; });
  return yes ? 1 : 0;
}

constexpr OpEntry kOps[] = {
    {proto::kGetType, GetType},
    {proto::kGetDescription, GetDescription},
    {proto::kDeleteSubTree, DeleteSubTree},
    {proto::kDeleteVariable, DeleteVariable},
    {proto::kIsDigitalWaveform, IsWaveformOf<vardDigital>, ReplyKind::TruthValue},
    {proto::kIsIntegerWaveform, IsWaveformOf<vardInteger>, ReplyKind::TruthValue},
};

}  // namespace

std::span<const OpEntry> VariableOps() { return kOps; }

}  // namespace vard::server
