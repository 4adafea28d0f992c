// Waveforms: reading through a locked snapshot (Src), writing through a
// private writer (Waveform) that publishes at CloseWaveform, single values by
// name, and creation.
//
// The samples themselves are the store's business (waveform.h); this file
// decodes requests, keeps the handles in the client's session and decides
// when the pool's lock is needed. Readers never hold it while samples move:
// a lock's snapshot is immutable, so GetWaveformData copies from it straight
// into the block without touching the pool at all. Writers work on their
// private state without the pool's lock too; only creating, opening and
// publishing take it.
#include <memory>
#include <string>
#include <utility>

#include "server/core/dispatch.h"
#include "server/core/lookup.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/request_io.h"
#include "server/core/session.h"
#include "server/core/waveform.h"

namespace vard::server {
namespace {

using proto::WaveformRequest;
using Snapshot = std::shared_ptr<const WaveformData>;

// A reader's view: the snapshot as it was at LockWaveform, whatever writers
// publish afterwards. The name is the one GetVertical reports.
struct LockedWaveform final : SessionResource {
  LockedWaveform(std::string n, Snapshot d) : name(std::move(n)), data(std::move(d)) {}
  const std::string name;
  const Snapshot data;
};

// A writer's state between OpenWaveform and CloseWaveform. Holding the claim
// is what keeps the variable "open for writing"; dropping this resource (the
// handle closed, or the session released because the client died) ends the
// claim and throws the unpublished changes away.
struct OpenWriter final : SessionResource {
  OpenWriter(std::string n, Snapshot base, std::shared_ptr<const WriteClaim> c)
      : name(std::move(n)), writer(std::move(base)), claim(std::move(c)) {}
  const std::string name;
  WaveformWriter writer;
  const std::shared_ptr<const WriteClaim> claim;
};

// Handles are positive; whatever else the field holds names nothing.
template <class R>
std::shared_ptr<R> Find(const RequestContext& ctx, ResourceKind kind, std::int16_t handle) {
  if (handle <= 0) return nullptr;
  return ctx.session.GetAs<R>(kind, static_cast<std::uint16_t>(handle));
}
std::shared_ptr<LockedWaveform> Locked(const RequestContext& ctx, const WaveformRequest& req) {
  return Find<LockedWaveform>(ctx, ResourceKind::WaveformLock, req.Src);
}
std::shared_ptr<OpenWriter> Writer(const RequestContext& ctx, const WaveformRequest& req) {
  return Find<OpenWriter>(ctx, ResourceKind::WaveformWriter, req.Waveform);
}

std::uint8_t* SampleArea(const RequestContext& ctx) { return ctx.block + proto::kSampleAreaOffset; }

// The published snapshot of the named waveform, taken under the shared lock.
std::uint32_t Published(const RequestContext& ctx, std::string_view name, Snapshot* data,
                        std::string* stored_name = nullptr) {
  return WithVariable(ctx.pool.Read(), name, Kind::Waveform, [&](const Variable& v) {
    *data = v.waveform;
    if (stored_name) *stored_name = v.name;
  });
}

// --- Reading -----------------------------------------------------------------

std::uint32_t LockWaveform(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  Snapshot data;
  std::string name;
  if (const auto rc = Published(ctx, FieldText(req.Name), &data, &name); rc != vardOK) return rc;
  const std::uint16_t handle =
      ctx.session.Add(ResourceKind::WaveformLock,
                      std::make_shared<LockedWaveform>(std::move(name), std::move(data)));
  if (handle == 0) return vardOutOfMemory;  // the session's handle table is full
  WriteValue(ctx.block, offsetof(WaveformRequest, Src), static_cast<std::int16_t>(handle));
  return vardOK;
}

std::uint32_t GetHorizontal(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto lock = Locked(ctx, req);
  if (!lock) return vardInvalidHandle;
  const WaveformData& d = *lock->data;
  WriteValue(ctx.block, offsetof(WaveformRequest, X0), d.x().origin);
  WriteValue(ctx.block, offsetof(WaveformRequest, XStep), d.x().step);
  WriteText(ctx.block, VARD_REPLY_FIELD(WaveformRequest, XUnits), d.x().units);
  WriteValue(ctx.block, offsetof(WaveformRequest, Length), d.length());
  // The Block field answers the number of blocks (the library's Record).
  WriteValue(ctx.block, offsetof(WaveformRequest, Block), static_cast<std::int16_t>(d.blocks()));
  return vardOK;
}

std::uint32_t GetVertical(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto lock = Locked(ctx, req);
  if (!lock) return vardInvalidHandle;
  const WaveformData& d = *lock->data;
  WriteValue(ctx.block, offsetof(WaveformRequest, Y0), d.y().origin);
  WriteValue(ctx.block, offsetof(WaveformRequest, YStep), d.y().step);
  WriteText(ctx.block, VARD_REPLY_FIELD(WaveformRequest, YUnits), d.y().units);
  WriteText(ctx.block, VARD_REPLY_FIELD(WaveformRequest, Name), lock->name);
  return vardOK;
}

// The transfer's hot path: one session lookup, no pool lock, no allocation,
// and the store copies from its chunks straight into the sample area. Only
// the sample area is written, so the fields the library keeps in the record
// between chunks stay as they were.
std::uint32_t GetWaveformData(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto lock = Locked(ctx, req);
  if (!lock) return vardInvalidHandle;
  std::size_t written = 0;
  return lock->data->Read(req.Block, req.FirstSample, req.LastSample, req.Reduction, req.DataType,
                          SampleArea(ctx), proto::kSampleAreaSize, &written);
}

std::uint32_t UnlockWaveform(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  if (req.Src <= 0) return vardInvalidHandle;
  return ctx.session.Close(ResourceKind::WaveformLock, static_cast<std::uint16_t>(req.Src))
             ? vardOK
             : vardInvalidHandle;
}

// By name, from the published snapshot; no lock needed. X travels in X0, Y
// comes back in Y0.
std::uint32_t GetWaveformValue(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  Snapshot data;
  if (const auto rc = Published(ctx, FieldText(req.Name), &data); rc != vardOK) return rc;
  double y = 0.0;
  const std::uint32_t rc = data->ValueAt(req.Block, req.X0, &y);
  if (rc == vardOK) WriteValue(ctx.block, offsetof(WaveformRequest, Y0), y);
  return rc;
}

std::uint32_t GetBlockInfo(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto lock = Locked(ctx, req);
  if (!lock) return vardInvalidHandle;
  BlockInfo info;
  const std::uint32_t rc = lock->data->Info(req.Block, &info);
  if (rc != vardOK) return rc;
  WriteValue(ctx.block, offsetof(WaveformRequest, TriggerTime), info.triggerTime);
  WriteValue(ctx.block, offsetof(WaveformRequest, Year), info.year);
  WriteValue(ctx.block, offsetof(WaveformRequest, Month), info.month);
  WriteValue(ctx.block, offsetof(WaveformRequest, Day), info.day);
  return vardOK;
}

// --- Writing -----------------------------------------------------------------

std::uint32_t CreateWaveform(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  Variable v;
  v.kind = Kind::Waveform;
  v.name = FieldText(req.Name);
  v.path = FieldText(req.Path);
  if (!IsValidName(v.name) || !IsValidPath(v.path)) return vardInvalidName;
  if (const auto rc = WaveformData::Create(req.Type, &v.waveform); rc != vardOK) return rc;
  auto pool = ctx.pool.Write();
  return pool.Insert(std::move(v)) != nullptr ? vardOK : vardAlreadyExists;
}

// One writer per waveform: a second OpenWaveform, from any client, is refused
// until the first closes, so nobody's published data is silently replaced.
std::uint32_t OpenWaveform(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  auto claim = std::make_shared<const WriteClaim>(WriteClaim{ctx.session.Id()});
  std::uint16_t handle = 0;
  const auto rc = WithVariable(
      ctx.pool.Write(), FieldText(req.Name), Kind::Waveform, [&](Variable& v) -> std::uint32_t {
        if (v.OpenForWriting()) return vardProcNotAllowed;
        handle = ctx.session.Add(ResourceKind::WaveformWriter,
                                 std::make_shared<OpenWriter>(v.name, v.waveform, claim));
        if (handle == 0) return vardOutOfMemory;  // the session's handle table is full
        v.writer = claim;                         // last: nothing above changed the pool
        return vardOK;
      });
  if (rc != vardOK) return rc;
  WriteValue(ctx.block, offsetof(WaveformRequest, Waveform), static_cast<std::int16_t>(handle));
  return vardOK;
}

// The writer operations change only the writer's private state.
template <class Change>
std::uint32_t WithWriter(const RequestContext& ctx, Change&& change) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto w = Writer(ctx, req);
  if (!w) return vardInvalidHandle;
  return change(req, w->writer);
}

std::uint32_t WriteHorizontal(const RequestContext& ctx) {
  return WithWriter(ctx, [](const WaveformRequest& req, WaveformWriter& w) {
    return w.SetHorizontal(req.X0, req.XStep, FieldText(req.XUnits));
  });
}

std::uint32_t WriteVertical(const RequestContext& ctx) {
  return WithWriter(ctx, [](const WaveformRequest& req, WaveformWriter& w) {
    return w.SetVertical(req.Y0, req.YStep, FieldText(req.YUnits));
  });
}

// The samples are taken from the sample area and never beyond it; the
// store refuses a range whose bytes would not fit there.
std::uint32_t WriteWaveform(const RequestContext& ctx) {
  return WithWriter(ctx, [&](const WaveformRequest& req, WaveformWriter& w) {
    return w.Write(req.FirstSample, req.LastSample, SampleArea(ctx), proto::kSampleAreaSize);
  });
}

std::uint32_t ReadWaveform(const RequestContext& ctx) {
  return WithWriter(ctx, [&](const WaveformRequest& req, WaveformWriter& w) {
    std::size_t written = 0;
    return w.ReadBack(req.FirstSample, req.LastSample, SampleArea(ctx), proto::kSampleAreaSize,
                      &written);
  });
}

std::uint32_t SetWaveformLength(const RequestContext& ctx) {
  return WithWriter(
      ctx, [](const WaveformRequest& req, WaveformWriter& w) { return w.SetLength(req.Length); });
}

std::uint32_t WriteBlockInfo(const RequestContext& ctx) {
  return WithWriter(ctx, [](const WaveformRequest& req, WaveformWriter& w) {
    return w.SetBlockInfo(BlockInfo{req.TriggerTime, req.Year, req.Month, req.Day});
  });
}

std::uint32_t GetWaveformDataType(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto w = Writer(ctx, req);
  if (!w) return vardInvalidHandle;
  WriteValue(ctx.block, offsetof(WaveformRequest, DataType), w->writer.type());
  return vardOK;
}

// Publishes everything the writer did, at once, and ends the handle. The
// variable is the one this writer opened only while it still carries this
// writer's claim; if it is gone, nothing is published (the handle ends all
// the same: there is nothing left it could write to).
std::uint32_t CloseWaveform(const RequestContext& ctx) {
  const auto req = ReadRecord<WaveformRequest>(ctx.block);
  const auto w = Writer(ctx, req);
  if (!w) return vardInvalidHandle;
  Snapshot replaced;  // freed after the lock: it may be the last owner of many chunks
  std::uint32_t rc =
      WithVariable(ctx.pool.Write(), w->name, std::nullopt, [&](Variable& v) -> std::uint32_t {
        if (v.kind != Kind::Waveform || v.writer.lock() != w->claim) return vardNoSuchObject;
        replaced = std::exchange(v.waveform, w->writer.Publish());
        v.writer.reset();
        return vardOK;
      });
  ctx.session.Close(ResourceKind::WaveformWriter, static_cast<std::uint16_t>(req.Waveform));
  return rc;
}

constexpr OpEntry kOps[] = {
    {proto::kLockWaveform, LockWaveform},
    {proto::kGetHorizontal, GetHorizontal},
    {proto::kGetVertical, GetVertical},
    {proto::kGetWaveformData, GetWaveformData},
    {proto::kUnlockWaveform, UnlockWaveform},
    {proto::kGetWaveformValue, GetWaveformValue},
    {proto::kGetBlockInfo, GetBlockInfo},
    {proto::kCreateWaveform, CreateWaveform},
    {proto::kOpenWaveform, OpenWaveform},
    {proto::kWriteHorizontal, WriteHorizontal},
    {proto::kWriteVertical, WriteVertical},
    {proto::kWriteWaveform, WriteWaveform},
    {proto::kReadWaveform, ReadWaveform},
    {proto::kSetWaveformLength, SetWaveformLength},
    {proto::kCloseWaveform, CloseWaveform},
    {proto::kWriteBlockInfo, WriteBlockInfo},
    {proto::kGetWaveformDataType, GetWaveformDataType},
};

}  // namespace

std::span<const OpEntry> WaveformOps() { return kOps; }

}  // namespace vard::server
