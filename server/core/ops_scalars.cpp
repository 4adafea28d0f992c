// Numeric and string variables: create, read and change them, and the
// description, which every kind of variable has.
#include <utility>

#include "server/core/dispatch.h"
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

// Runs `change` on the named variable, if it exists and is of `kind`, under
// the pool's exclusive lock.
template <class Change>
std::uint32_t Modify(const RequestContext& ctx, const ScalarRequest& req, Kind kind,
                     Change&& change) {
  const std::string_view name = FieldText(req.Name);
  if (!IsValidName(name)) return kInvalidName;
  auto pool = ctx.pool.Write();
  Variable* v = pool.Find(name);
  if (v == nullptr) return kNoSuchObject;
  if (v->kind != kind) return kInvalidType;
  change(*v);
  return kOK;
}

std::uint32_t Create(const RequestContext& ctx, const ScalarRequest& req, Variable v) {
  v.name = FieldText(req.Name);
  v.path = FieldText(req.Path);
  if (!IsValidName(v.name) || !IsValidPath(v.path)) return kInvalidName;
  auto pool = ctx.pool.Write();
  return pool.Insert(std::move(v)) != nullptr ? kOK : kAlreadyExists;
}

std::uint32_t GetString(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  const std::string_view name = FieldText(req.Name);
  if (!IsValidName(name)) return kInvalidName;
  const auto pool = ctx.pool.Read();
  const Variable* v = pool.Find(name);
  if (v == nullptr) return kNoSuchObject;
  if (v->kind != Kind::String) return kInvalidType;
  WriteText(ctx.block, VARD_REPLY_FIELD(ScalarRequest, String), v->text);
  return kOK;
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
  const std::string_view name = FieldText(req.Name);
  if (!IsValidName(name)) return kInvalidName;
  double value;
  {
    const auto pool = ctx.pool.Read();
    const Variable* v = pool.Find(name);
    if (v == nullptr) return kNoSuchObject;
    if (v->kind != Kind::Number) return kInvalidType;
    value = v->value;
  }
  WriteValue(ctx.block, offsetof(ScalarRequest, Value), value);
  return kOK;
}

std::uint32_t GetUnits(const RequestContext& ctx) {
  const auto req = ReadRecord<ScalarRequest>(ctx.block);
  const std::string_view name = FieldText(req.Name);
  if (!IsValidName(name)) return kInvalidName;
  const auto pool = ctx.pool.Read();
  const Variable* v = pool.Find(name);
  if (v == nullptr) return kNoSuchObject;
  if (v->kind != Kind::Number) return kInvalidType;
  WriteText(ctx.block, VARD_REPLY_FIELD(ScalarRequest, Units), v->units);
  return kOK;
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
  const std::string_view name = FieldText(req.Name);
  if (!IsValidName(name)) return kInvalidName;
  auto pool = ctx.pool.Write();
  Variable* v = pool.Find(name);
  if (v == nullptr) return kNoSuchObject;
  v->description = Description(req);
  return kOK;
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
