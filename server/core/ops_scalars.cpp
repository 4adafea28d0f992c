// Numeric and string variables: create, read and change them, and the
// description, which every kind of variable has.
#include <utility>

#include "server/core/dispatch.h"
#include "server/core/lookup.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"

namespace vard::server {
namespace {

using proto::ScalarRequest;

// Value texts longer than their field allows arrive only when the sender
// left no NUL; they are cut as the library would have cut them.
std::string_view Units(const ScalarRequest& req) {
  return CutText(FieldText(req.Units), kMaxUnitsLength);
}
std::string_view Description(const ScalarRequest& req) {
  return CutText(FieldText(req.Description), kMaxDescriptionLength);
}
std::string_view Text(const ScalarRequest& req) {
  return CutText(FieldText(req.String), kMaxStringLength);
}

template <class Use>
std::uint32_t Inspect(const RequestContext& ctx, const ScalarRequest& req, Kind kind, Use&& use) {
  return WithVariable(ctx.pool.Read(), FieldText(req.Name), kind, use);
}

template <class Change>
std::uint32_t Modify(const RequestContext& ctx, const ScalarRequest& req,
                     std::optional<Kind> kind, Change&& change) {
  return WithVariable(ctx.pool.Write(), FieldText(req.Name), kind, change);
}

std::uint32_t Create(const RequestContext& ctx, const ScalarRequest& req, Variable v) {
  v.name = FieldText(req.Name);
  v.path = FieldText(req.Path);
  if (!IsValidName(v.name) || !IsValidPath(v.path)) return vardInvalidName;
  auto pool = ctx.pool.Write();
  return pool.Insert(std::move(v)) != nullptr ? vardOK : vardAlreadyExists;
}

std::uint32_t GetString(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Inspect(ctx, req, Kind::String, [&](const Variable& v) {
    WriteText(ctx.block, VARD_REPLY_FIELD(ScalarRequest, String), v.text);
  });
}

std::uint32_t CreateString(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  Variable v;
  v.kind = Kind::String;
  v.text = Text(req);
  return Create(ctx, req, std::move(v));
}

std::uint32_t SetString(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Modify(ctx, req, Kind::String, [&](Variable& v) { v.text = Text(req); });
}

// The hot path of the benchmark: no allocation, one shared lock, one lookup.
std::uint32_t GetNumber(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Inspect(ctx, req, Kind::Number, [&](const Variable& v) {
    WriteValue(ctx.block, offsetof(ScalarRequest, Value), v.value);
  });
}

std::uint32_t GetUnits(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Inspect(ctx, req, Kind::Number, [&](const Variable& v) {
    WriteText(ctx.block, VARD_REPLY_FIELD(ScalarRequest, Units), v.units);
  });
}

std::uint32_t CreateNumber(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  Variable v;
  v.kind = Kind::Number;
  v.value = req.Value;
  v.units = Units(req);
  v.description = Description(req);
  return Create(ctx, req, std::move(v));
}

std::uint32_t SetNumber(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Modify(ctx, req, Kind::Number, [&](Variable& v) { v.value = req.Value; });
}

std::uint32_t SetUnits(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Modify(ctx, req, Kind::Number, [&](Variable& v) { v.units = Units(req); });
}

// Every kind has a description.
std::uint32_t SetDescription(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  return Modify(ctx, req, std::nullopt, [&](Variable& v) { v.description = Description(req); });
}

constexpr OpEntry kOps[] = {
    {proto::kGetString, GetString},       {proto::kCreateString, CreateString},
    {proto::kSetString, SetString},       {proto::kGetNumber, GetNumber},
    {proto::kGetUnits, GetUnits},         {proto::kCreateNumber, CreateNumber},
    {proto::kSetNumber, SetNumber},       {proto::kSetDescription, SetDescription},
    {proto::kSetUnits, SetUnits},
};

}  // namespace

std::span<const OpEntry> ScalarOps() { return kOps; }

}  // namespace vard::server
