#include "server/core/collection_writer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

#include "include/vard_enums.h"
#include "server/core/file_system.h"
#include "server/core/formula_parser.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/waveform.h"

namespace vard::server {
namespace {

using collection::Encoder;

// Small, as every open collection holds one; spans at least kDirectWrite
// long skip it: a waveform chunk goes from the snapshot to the file as it lies.
constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kDirectWrite = 32 * 1024;

Encoder Common(collection::RecordType type, const Variable& v) {
  Encoder e;
  e.Value(static_cast<std::uint16_t>(type)).Value(std::uint16_t{0}).Value(std::uint64_t{0});
  e.Text(v.name).Text(v.path).Text(v.description);
  return e;
}

// The payload length, once the payload's size is known.
void SetPayloadLength(Encoder& e, std::uint64_t payload) {
  std::memcpy(e.bytes.data() + 4, &payload, sizeof payload);
}

// The smallest and largest finite physical value of an analog waveform.
struct Range {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  bool Empty() const { return lo > hi; }
  double Middle() const { return 0.5 * lo + 0.5 * hi; }  // no overflow at the float limits
};

// Sample k of a span of an analog waveform, as a physical value.
double Physical(const WaveformData& d, const std::byte* bytes, std::int32_t k) {
  if (d.type() == vardFloat) {
    float v;
    std::memcpy(&v, bytes + 4 * k, 4);
    return v;
  }
  std::int16_t s;
  std::memcpy(&s, bytes + 2 * k, 2);
  return d.y().origin + d.y().step * s;
}

Range PhysicalRange(const WaveformData& d) {
  Range r;
  for (int b = 0; b < d.blocks(); ++b) {
    d.VisitBlock(b, [&](const std::byte* bytes, std::int32_t n) {
      for (std::int32_t k = 0; k < n; ++k) {
        const double v = Physical(d, bytes, k);
        if (std::isfinite(v)) r.lo = std::min(r.lo, v), r.hi = std::max(r.hi, v);
      }
    });
  }
  return r;
}

// vardForceInteger: the finite range [lo, hi] maps onto -32767 .. 32767, so
// Y0 is its middle and YStep (hi - lo) / 65534; a constant waveform keeps its
// value exactly in Y0 with YStep 1.
struct IntegerScale {
  double y0 = 0.0, step = 1.0;
  explicit IntegerScale(const Range& r) {
    if (r.Empty()) return;
    y0 = r.Middle();
    if (r.hi > r.lo) step = (r.hi - r.lo) / 65534.0;
  }
  // Nearest step, halves away from zero; NaN at Y0, infinities at the ends.
  std::int16_t operator()(double v) const {
    if (std::isnan(v)) return 0;
    const double q = std::clamp((v - y0) / step, -32767.0, 32767.0);
    const auto t = static_cast<std::int32_t>(q >= 0 ? q + 0.5 : q - 0.5);
    return static_cast<std::int16_t>(t);
  }
};

}  // namespace

CollectionWriter::CollectionWriter(FileSystem& fs, std::string target)
    : fs_(fs), target_(std::move(target)), buffer_(kBufferSize) {}

CollectionWriter::~CollectionWriter() {
  file_.reset();
  if (!committed_ && !temp_.empty()) fs_.Remove(temp_);
}

std::uint16_t CollectionWriter::Create(FileSystem& fs, const std::string& target,
                                       std::string_view comment, std::int64_t created,
                                       std::unique_ptr<CollectionWriter>* out) {
  if (target.empty() || !fs.IsAbsolute(target)) return vardCollFileCreate;
  try {
    std::unique_ptr<CollectionWriter> w(new CollectionWriter(fs, target));
    w->file_ = fs.CreateTemporary(target, &w->temp_);
    if (!w->file_) return vardCollFileCreate;
    Encoder h;
    h.Value(created).Text(collection::kWriterName);
    h.Text(CutText(comment, collection::kMaxCommentLength));
    Encoder prefix;
    prefix.Value(collection::kFormatVersion).Value(std::uint16_t{0});
    prefix.Value(static_cast<std::uint32_t>(h.bytes.size()));
    w->Put(collection::kMagic, sizeof collection::kMagic);
    w->Put(prefix.bytes);
    w->Put(h.bytes);
    w->SealSegment();
    if (w->spoiled_) return vardCollFileWrite;
    *out = std::move(w);
    return vardCollReturnOK;
  } catch (const std::bad_alloc&) {
    return vardCollOutOfMemory;
  }
}

void CollectionWriter::Put(const void* data, std::size_t size) {
  if (spoiled_) return;
  crc_.Add(data, size);
  written_ += size;
  if (size >= kDirectWrite) {
    spoiled_ = !Drain() || !file_->Write(data, size);
    return;
  }
  if (used_ + size > buffer_.size() && !Drain()) {
    spoiled_ = true;
    return;
  }
  std::memcpy(buffer_.data() + used_, data, size);
  used_ += size;
}

bool CollectionWriter::Drain() {
  const bool ok = used_ == 0 || file_->Write(buffer_.data(), used_);
  used_ = 0;
  return ok;
}

void CollectionWriter::SealSegment() {
  const std::uint32_t crc = crc_.EndSegment();
  Put(&crc, sizeof crc);
  crc_.EndSegment();  // the field is in the file's CRC, not in the next record's
}

std::uint16_t CollectionWriter::EndRecord() {
  SealSegment();
  ++records_;
  return spoiled_ ? vardCollFileWrite : vardCollReturnOK;
}

std::uint16_t CollectionWriter::Add(const Variable& v, std::uint16_t options) {
  if (spoiled_) return vardCollFileWrite;
  try {
    switch (v.kind) {
      case Kind::Number: {
        // A computed number is saved as its formula, never as a value.
        Encoder e = Common(v.formula ? collection::kFormulaRecord : collection::kNumberRecord, v);
        if (v.formula) {
          e.Text(v.formula->source).Text(v.units);
        } else {
          e.Value(v.value).Text(v.units);
        }
        SetPayloadLength(e, e.bytes.size() - collection::kFrameSize);
        Put(e.bytes);
        break;
      }
      case Kind::String: {
        Encoder e = Common(collection::kStringRecord, v);
        e.Text(v.text);
        SetPayloadLength(e, e.bytes.size() - collection::kFrameSize);
        Put(e.bytes);
        break;
      }
      case Kind::Waveform:
        AddWaveform(v, options);
        break;
    }
    return EndRecord();
  } catch (const std::bad_alloc&) {
    // Part of a record may be out: the file cannot be finished any more.
    spoiled_ = true;
    return vardCollOutOfMemory;
  }
}

void CollectionWriter::AddWaveform(const Variable& v, std::uint16_t options) {
  const WaveformData& d = *v.waveform;
  const bool analog = d.type() != vardDigital;
  auto conversion = collection::kAsIs;
  if (analog && (options & vardForceEvent)) {
    conversion = collection::kForcedEvent;
  } else if (d.type() == vardFloat && (options & vardForceInteger)) {
    conversion = collection::kForcedInteger;
  }
  std::int16_t stored_type = d.type();
  if (conversion == collection::kForcedEvent) stored_type = vardDigital;
  if (conversion == collection::kForcedInteger) stored_type = vardInteger;
  const Range range = conversion == collection::kAsIs ? Range{} : PhysicalRange(d);
  const IntegerScale scale(range);
  const double threshold = range.Middle();
  Axis y = d.y();
  if (conversion == collection::kForcedInteger) y.origin = scale.y0, y.step = scale.step;
  if (conversion == collection::kForcedEvent) y.origin = 0.0, y.step = 1.0;

  Encoder e = Common(collection::kWaveformRecord, v);
  e.Value(stored_type).Value(d.lengthFixed() ? collection::kLengthFixed : std::uint8_t{0});
  e.Value(static_cast<std::uint8_t>(conversion)).Value(d.length()).Value(d.blocks());
  for (const Axis& a : {d.x(), y}) e.Value(a.origin).Value(a.step).Text(a.units);
  const std::uint64_t block_bytes =
      collection::kBlockInfoSize + std::uint64_t(d.length()) * ElementSize(stored_type);
  SetPayloadLength(e, e.bytes.size() - collection::kFrameSize + block_bytes * d.blocks());
  Put(e.bytes);

  std::vector<std::uint16_t> converted(conversion == collection::kAsIs ? 0 : kChunkSamples);
  for (int b = 0; b < d.blocks(); ++b) {
    BlockInfo info;
    d.Info(b, &info);
    Encoder i;
    i.Value(info.triggerTime).Value(info.year).Value(info.month).Value(info.day);
    Put(i.bytes);
    d.VisitBlock(b, [&](const std::byte* bytes, std::int32_t n) {
      if (conversion == collection::kAsIs) {
        Put(bytes, static_cast<std::size_t>(n) * ElementSize(d.type()));
        return;
      }
      for (std::int32_t k = 0; k < n; ++k) {
        const double value = Physical(d, bytes, k);
        converted[static_cast<std::size_t>(k)] = conversion == collection::kForcedEvent
                                                     ? (value > threshold ? 1 : 0)
                                                     : static_cast<std::uint16_t>(scale(value));
      }
      Put(converted.data(), static_cast<std::size_t>(n) * 2);
    });
  }
}

std::uint16_t CollectionWriter::Commit() {
  if (spoiled_ || committed_) return vardCollFileWrite;
  Encoder t;
  t.Value(static_cast<std::uint16_t>(collection::kEndOfRecords)).Value(std::uint16_t{0});
  t.Value(records_).Value(written_);
  Put(t.bytes);
  crc_.EndSegment();
  const std::uint32_t crc = crc_.Crc();
  Put(&crc, sizeof crc);
  if (spoiled_ || !Drain() || !file_->Flush()) return vardCollFileWrite;
  file_.reset();  // closed before it moves
  if (!fs_.Replace(temp_, target_)) return vardCollFileWrite;
  committed_ = true;
  return vardCollReturnOK;
}

}  // namespace vard::server
