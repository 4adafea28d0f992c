// Variable enumeration: FindFirstVariable, FindNextVariable,
// FindVariableClose and GetVariablesInPath.
#include <algorithm>

#include "server/core/dispatch.h"
#include "server/core/enumeration.h"
#include "server/core/names.h"
#include "server/core/request_io.h"
#include "server/core/session.h"

namespace vard::server {
namespace {

using proto::EnumerationRequest;
using proto::PathListRequest;

void WriteEntry(std::uint8_t* block, const NameIndex::Entry& e) {
  WriteText(block, VARD_REPLY_FIELD(EnumerationRequest, VarName), e.name);
  WriteText(block, VARD_REPLY_FIELD(EnumerationRequest, Path), e.path);
}

// The cursor behind a FindHandle of this client, or null. Handles are
// 16-bit session handles carried in a 32-bit field.
std::shared_ptr<FindCursor> CursorOf(const RequestContext& ctx, std::uint32_t handle) {
  if (handle == 0 || handle > Session::kMaxHandleValue) return nullptr;
  return ctx.session.GetAs<FindCursor>(ResourceKind::FindCursor,
                                       static_cast<std::uint16_t>(handle));
}

// Opens a cursor on a snapshot of the pool and answers its first variable.
// Nothing to enumerate opens nothing: handle 0 and the end code.
std::uint32_t FindFirst(const RequestContext& ctx) {
  const auto req = ReadRecord<EnumerationRequest>(ctx.block);
  auto cursor = std::make_shared<FindCursor>(NameIndex::Snapshot(ctx.pool), req.Filter);
  NameIndex::Entry first;
  if (!cursor->Next(&first)) return vardNoSuchData;
  const std::uint16_t handle = ctx.session.Add(ResourceKind::FindCursor, cursor);
  if (handle == 0) return vardOutOfMemory;  // the session holds all it may
  WriteValue(ctx.block, offsetof(EnumerationRequest, FindHandle), std::uint32_t{handle});
  WriteEntry(ctx.block, first);
  return vardOK;
}

std::uint32_t FindNext(const RequestContext& ctx) {
  const auto req = ReadRecord<EnumerationRequest>(ctx.block);
  const auto cursor = CursorOf(ctx, req.FindHandle);
  if (!cursor) return vardInvalidHandle;
  NameIndex::Entry next;
  if (!cursor->Next(&next)) return vardNoSuchData;
  WriteEntry(ctx.block, next);
  return vardOK;
}

std::uint32_t FindClose(const RequestContext& ctx) {
  const auto req = ReadRecord<EnumerationRequest>(ctx.block);
  if (!CursorOf(ctx, req.FindHandle)) return vardInvalidHandle;
  ctx.session.Close(ResourceKind::FindCursor, static_cast<std::uint16_t>(req.FindHandle));
  return vardOK;
}

// The names in the subtree of a path prefix (whole levels, no case; the
// empty prefix is the whole pool), behind the record. A list longer than
// the capacity is cut after a whole name and answers vardBufferToSmall.
std::uint32_t VariablesInPath(const RequestContext& ctx) {
  const auto req = ReadRecord<PathListRequest>(ctx.block);
  const std::string_view prefix = FieldText(req.PathPrefix);
  if (prefix.size() >= sizeof req.PathPrefix || !IsValidPath(prefix)) return vardInvalidName;
  const std::uint16_t filter = req.Filter;
  const std::uint16_t capacity = req.Capacity;
  const NameIndex names = NameIndex::Collect(ctx.pool, [&](const Variable& v) {
    return FilterSelects(filter, v.Type()) && (prefix.empty() || PathInSubtree(v.path, prefix));
  });
  return WriteNameList(names, ctx.block + proto::kPathListOffset,
                       std::min(capacity, proto::kPathListMaxCapacity))
             ? vardOK
             : vardBufferToSmall;
}

constexpr OpEntry kOps[] = {
    {proto::kGetVariablesInPath, VariablesInPath},
    {proto::kFindFirstVariable, FindFirst},
    {proto::kFindNextVariable, FindNext},
    {proto::kFindVariableClose, FindClose},
};

}  // namespace

std::span<const OpEntry> EnumerationOps() { return kOps; }

}  // namespace vard::server
