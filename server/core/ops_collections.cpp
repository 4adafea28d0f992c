// Collections: CreateCollection, AddToCollection, CloseCollection and
// LoadCollection. The file format and its writer and loader live in
// collection_*.cpp; this file decodes the requests and keeps each open
// collection in its client's session, so a client that dies takes its
// unfinished collections (and their temporary files) with it.
#include <chrono>
#include <memory>
#include <new>
#include <utility>

#include "server/core/collection_reader.h"
#include "server/core/collection_writer.h"
#include "server/core/dispatch.h"
#include "server/core/file_system.h"
#include "server/core/lookup.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"
#include "server/core/session.h"

namespace vard::server {
namespace {

using proto::CollectionRequest;

struct OpenCollection final : SessionResource {
  explicit OpenCollection(std::unique_ptr<CollectionWriter> w) : writer(std::move(w)) {}
  const std::unique_ptr<CollectionWriter> writer;
};

std::shared_ptr<OpenCollection> Find(const RequestContext& ctx, const CollectionRequest& req) {
  if (req.Coll <= 0) return nullptr;
  return ctx.session.GetAs<OpenCollection>(ResourceKind::Collection,
                                           static_cast<std::uint16_t>(req.Coll));
}

// A text that fills its whole field without a NUL is longer than any the
// library sends.
template <std::size_t N>
bool Overlong(const char (&field)[N]) {
  return FieldText(field).size() >= N;
}

std::int64_t SecondsSince1970() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::uint32_t CreateCollection(const RequestContext& ctx) {
  const auto req = ReadRecord<CollectionRequest>(ctx.block);
  if (Overlong(req.PathName)) return vardCollFileCreate;
  std::unique_ptr<CollectionWriter> writer;
  const std::uint16_t rc =
      CollectionWriter::Create(CollectionFileSystem(), std::string(FieldText(req.PathName)),
                               FieldText(req.Comment), SecondsSince1970(), &writer);
  if (rc != vardCollReturnOK) return rc;
  const std::uint16_t handle = ctx.session.Add(ResourceKind::Collection,
                                               std::make_shared<OpenCollection>(std::move(writer)));
  if (handle == 0) return vardCollOutOfHandles;  // the writer goes, and its temporary file
  WriteValue(ctx.block, offsetof(CollectionRequest, Coll), static_cast<std::int16_t>(handle));
  return vardCollReturnOK;
}

// The variable as it is now: numbers and strings copied, a waveform's
// published snapshot shared (it never changes, whoever writes meanwhile).
// Saved under `Name` when one is given.
std::uint32_t AddToCollection(const RequestContext& ctx) {
  const auto req = ReadRecord<CollectionRequest>(ctx.block);
  const auto coll = Find(ctx, req);
  if (!coll) return vardCollIllegalHandle;
  if ((req.Options & ~(vardForceInteger | vardForceEvent)) != 0) return vardCollInvalidParameter;
  const std::string_view var_name = FieldText(req.VarName);
  const std::string_view name = FieldText(req.Name);
  if (var_name.empty() || (!name.empty() && (Overlong(req.Name) || !IsValidName(name))))
    return vardCollNoVariableName;
  Variable copy;
  if (WithVariable(ctx.pool.Read(), var_name, std::nullopt, [&](const Variable& v) { copy = v; }) !=
      vardOK)
    return vardCollUnknownObject;
  if (!name.empty()) copy.name = name;
  return coll->writer->Add(copy, req.Options);
}

// The handle ends whatever the outcome: a collection that could not be
// finished is discarded with its temporary file, and the target stays as it was.
std::uint32_t CloseCollection(const RequestContext& ctx) {
  const auto req = ReadRecord<CollectionRequest>(ctx.block);
  const auto coll = Find(ctx, req);
  if (!coll) return vardCollIllegalHandle;
  const std::uint16_t rc = coll->writer->Commit();
  ctx.session.Close(ResourceKind::Collection, static_cast<std::uint16_t>(req.Coll));
  return rc;
}

std::uint32_t LoadCollection(const RequestContext& ctx) {
  const auto req = ReadRecord<CollectionRequest>(ctx.block);
  if (Overlong(req.Prefix)) return vardCollPrefixToLong;
  if (Overlong(req.PathName)) return vardCollOpenFile;
  return LoadCollection(CollectionFileSystem(), ctx.pool, std::string(FieldText(req.PathName)),
                        FieldText(req.Prefix));
}

// Running out of memory anywhere in these answers the family's own code.
template <OpHandler Handler>
std::uint32_t Guarded(const RequestContext& ctx) {
  try {
    return Handler(ctx);
  } catch (const std::bad_alloc&) {
    return vardCollOutOfMemory;
  }
}

constexpr OpEntry kOps[] = {
    {proto::kCreateCollection, Guarded<CreateCollection>},
    {proto::kAddToCollection, Guarded<AddToCollection>},
    {proto::kCloseCollection, Guarded<CloseCollection>},
    {proto::kLoadCollection, Guarded<LoadCollection>},
};

}  // namespace

std::span<const OpEntry> CollectionOps() { return kOps; }

}  // namespace vard::server
