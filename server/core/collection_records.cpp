#include "server/core/collection_records.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "server/core/file_system.h"
#include "server/core/formula_parser.h"
#include "server/core/formula_table.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/waveform.h"

namespace vard::server::collection {
namespace {

// Small, as every open collection holds one; spans at least kDirectWrite
// long skip it: a waveform chunk goes from the snapshot to the file as it lies.
constexpr std::size_t kOutputBufferSize = 64 * 1024;
constexpr std::size_t kDirectWrite = 32 * 1024;
constexpr std::size_t kInputBufferSize = 1024 * 1024;

Encoder Common(RecordType type, std::uint16_t flags, const Variable& v) {
  Encoder e;
  e.Value(static_cast<std::uint16_t>(type)).Value(flags).Value(std::uint64_t{0});
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

// The waveform payload's fixed part after the common part.
Encoder WaveformHead(const WaveformData& d, std::int16_t stored_type, Conversion conversion,
                     const Axis& y) {
  Encoder e;
  e.Value(stored_type).Value(d.lengthFixed() ? kLengthFixed : std::uint8_t{0});
  e.Value(static_cast<std::uint8_t>(conversion)).Value(d.length()).Value(d.blocks());
  for (const Axis& a : {d.x(), y}) e.Value(a.origin).Value(a.step).Text(a.units);
  return e;
}

// Input: expects a store's answer while building.
void Expect(std::uint16_t store_code) {
  if (store_code == vardOutOfMemory) Fail(vardCollOutOfMemory);
  Check(store_code == vardOK);
}

}  // namespace

// --- Writing -------------------------------------------------------------------

RecordOutput::RecordOutput(OutputFile* file) : file_(file), buffer_(kOutputBufferSize) {}

void RecordOutput::Put(const void* data, std::size_t size) {
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

bool RecordOutput::Drain() {
  const bool ok = used_ == 0 || file_->Write(buffer_.data(), used_);
  used_ = 0;
  spoiled_ = spoiled_ || !ok;
  return !spoiled_;
}

void RecordOutput::SealSegment() {
  const std::uint32_t crc = crc_.EndSegment();
  Put(&crc, sizeof crc);
  crc_.EndSegment();  // the field is in the file's CRC, not in the next record's
}

void RecordOutput::PutRecord(std::uint16_t type, std::uint16_t flags, const Encoder& payload) {
  Encoder frame;
  frame.Value(type).Value(flags).Value(static_cast<std::uint64_t>(payload.bytes.size()));
  Put(frame.bytes);
  Put(payload.bytes);
  SealSegment();
}

void RecordOutput::PutVariable(const Variable& v, std::uint16_t options, std::uint16_t flags) {
  switch (v.kind) {
    case Kind::Number: {
      // A computed number is saved as its formula, never as a value.
      Encoder e = Common(v.formula ? kFormulaRecord : kNumberRecord, flags, v);
      if (v.formula) {
        e.Text(v.formula->source).Text(v.units);
      } else {
        e.Value(v.value).Text(v.units);
      }
      SetPayloadLength(e, e.bytes.size() - kFrameSize);
      Put(e.bytes);
      break;
    }
    case Kind::String: {
      Encoder e = Common(kStringRecord, flags, v);
      e.Text(v.text);
      SetPayloadLength(e, e.bytes.size() - kFrameSize);
      Put(e.bytes);
      break;
    }
    case Kind::Waveform:
      PutWaveform(v, options, flags);
      break;
  }
  SealSegment();
}

void RecordOutput::PutWaveform(const Variable& v, std::uint16_t options, std::uint16_t flags) {
  const WaveformData& d = *v.waveform;
  const bool analog = d.type() != vardDigital;
  auto conversion = kAsIs;
  if (analog && (options & vardForceEvent)) {
    conversion = kForcedEvent;
  } else if (d.type() == vardFloat && (options & vardForceInteger)) {
    conversion = kForcedInteger;
  }
  std::int16_t stored_type = d.type();
  if (conversion == kForcedEvent) stored_type = vardDigital;
  if (conversion == kForcedInteger) stored_type = vardInteger;
  const Range range = conversion == kAsIs ? Range{} : PhysicalRange(d);
  const IntegerScale scale(range);
  const double threshold = range.Middle();
  Axis y = d.y();
  if (conversion == kForcedInteger) y.origin = scale.y0, y.step = scale.step;
  if (conversion == kForcedEvent) y.origin = 0.0, y.step = 1.0;

  Encoder e = Common(kWaveformRecord, flags, v);
  const Encoder head = WaveformHead(d, stored_type, conversion, y);
  e.bytes.insert(e.bytes.end(), head.bytes.begin(), head.bytes.end());
  const std::uint64_t block_bytes =
      kBlockInfoSize + std::uint64_t(d.length()) * ElementSize(stored_type);
  SetPayloadLength(e, e.bytes.size() - kFrameSize + block_bytes * d.blocks());
  Put(e.bytes);

  std::vector<std::uint16_t> converted(conversion == kAsIs ? 0 : kChunkSamples);
  for (int b = 0; b < d.blocks(); ++b) {
    BlockInfo info;
    d.Info(b, &info);
    Encoder i;
    i.Value(info.triggerTime).Value(info.year).Value(info.month).Value(info.day);
    Put(i.bytes);
    d.VisitBlock(b, [&](const std::byte* bytes, std::int32_t n) {
      if (conversion == kAsIs) {
        Put(bytes, static_cast<std::size_t>(n) * ElementSize(d.type()));
        return;
      }
      for (std::int32_t k = 0; k < n; ++k) {
        const double value = Physical(d, bytes, k);
        converted[static_cast<std::size_t>(k)] = conversion == kForcedEvent
                                                     ? (value > threshold ? 1 : 0)
                                                     : static_cast<std::uint16_t>(scale(value));
      }
      Put(converted.data(), static_cast<std::size_t>(n) * 2);
    });
  }
}

std::uint64_t VariableRecordSize(const Variable& v) {
  // frame, the three common texts with their counts, the CRC
  std::uint64_t size = kFrameSize + 6 + v.name.size() + v.path.size() + v.description.size() +
                       kCrcSize;
  switch (v.kind) {
    case Kind::Number:
      if (v.formula) return size + 2 + v.formula->source.size() + 2 + v.units.size();
      return size + 8 + 2 + v.units.size();
    case Kind::String:
      return size + 2 + v.text.size();
    case Kind::Waveform: {
      // WaveformHead: type, flags, conversion, length, blocks, two axes
      const WaveformData& d = *v.waveform;
      size += 12 + 2 * 18 + d.x().units.size() + d.y().units.size();
      return size + (kBlockInfoSize + std::uint64_t(d.length()) * ElementSize(d.type())) *
                        static_cast<std::uint64_t>(d.blocks());
    }
  }
  return size;
}

// --- Reading -------------------------------------------------------------------

void Fail(std::uint16_t code) { throw Failure{code}; }
void Check(bool ok, std::uint16_t code) {
  if (!ok) Fail(code);
}

Input::Input(InputFile& file)
    : file_(file), buffer_(std::make_unique_for_overwrite<std::byte[]>(kInputBufferSize)) {}

void Input::Need(std::size_t n) {
  if (end_ - pos_ >= n) return;
  std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
  end_ -= pos_;
  pos_ = 0;
  while (end_ < n) {
    std::size_t got = 0;
    Check(file_.Read(buffer_.get() + end_, kInputBufferSize - end_, &got), vardCollFileRead);
    Check(got > 0);
    end_ += got;
  }
}

const std::byte* Input::Take(std::size_t n) {
  Need(n);
  const std::byte* p = buffer_.get() + pos_;
  crc_.Add(p, n);
  pos_ += n;
  offset_ += n;
  return p;
}

std::size_t Input::TakeSpan(std::uint64_t max, std::size_t unit, const std::byte** p) {
  Need(unit);
  std::size_t n = std::min<std::uint64_t>(max, end_ - pos_);
  n -= n % unit;
  *p = Take(n);
  return n;
}

bool Input::AtEnd() {
  if (pos_ < end_) return false;
  std::size_t got = 0;
  Check(file_.Read(buffer_.get(), kInputBufferSize, &got), vardCollFileRead);
  pos_ = 0;
  end_ = got;
  return got == 0;
}

RecordReader::Frame RecordReader::ReadFrame() {
  left_ = kFrameSize;
  Frame f;
  f.type = Value<std::uint16_t>();
  f.flags = Value<std::uint16_t>();
  if (f.type != kEndOfRecords) left_ = Value<std::uint64_t>();
  return f;
}

void RecordReader::SegmentCrc() {
  const std::uint32_t crc = in_.crc().EndSegment();
  left_ = kCrcSize;
  Check(Value<std::uint32_t>() == crc);
  in_.crc().EndSegment();
}

std::string RecordReader::Text(std::size_t max, bool keep) {
  const auto n = Value<std::uint16_t>();
  Check(n <= max && left_ >= n);
  left_ -= n;
  const auto* p = reinterpret_cast<const char*>(in_.Take(n));
  return keep || build_ ? std::string(p, n) : std::string();
}

void RecordReader::Skip() {
  for (const std::byte* p; left_ > 0;) left_ -= in_.TakeSpan(left_, 1, &p);
}

Variable RecordReader::ReadVariable(std::uint16_t type) {
  Variable v;
  ReadCommon(&v);
  if (type == kNumberRecord) {
    v.kind = Kind::Number;
    v.value = Value<double>();
    v.units = Text(kMaxUnitsLength);
  } else if (type == kStringRecord) {
    v.kind = Kind::String;
    v.text = Text(kMaxStringLength);
  } else if (type == kFormulaRecord) {
    ReadFormula(&v);
  } else {
    v.kind = Kind::Waveform;
    ReadWaveform(&v);
  }
  Check(left_ == 0);
  return v;
}

// A computed number: compiled only when building, so a check allocates
// nothing; the names it refers to need not exist (it computes on reading).
void RecordReader::ReadFormula(Variable* v) {
  const std::string text = Text(formula::kMaxFormulaLength);
  const std::string units = Text(kMaxUnitsLength);
  if (!build_) return;
  Variable made;
  Check(formula::MakeVariable(formula::Definition{v->name, text, units, v->description}, &made) ==
        vardOK);
  made.path = std::move(v->path);
  *v = std::move(made);
}

// Names and paths are checked whether or not they are kept: a check-only
// pass must refuse what a building one could not create.
void RecordReader::ReadCommon(Variable* v) {
  std::string name = Text(kMaxNameLength, true);
  std::string path = Text(kMaxPathLength, true);
  Check(IsValidName(name) && IsValidPath(path));
  if (!prefix_.empty()) path = std::string(prefix_) + (path.empty() ? "" : ".") + path;
  prefix_too_long_ = prefix_too_long_ || path.size() > kMaxPathLength;
  v->name = std::move(name);
  v->path = std::move(path);
  v->description = Text(kMaxDescriptionLength);
}

void RecordReader::ReadWaveform(Variable* v) {
  const auto type = Value<std::int16_t>();
  const auto flags = Value<std::uint8_t>();
  const auto conversion = Value<std::uint8_t>();
  const auto length = Value<std::int32_t>();
  const auto blocks = Value<std::int32_t>();
  Check(WaveformData::IsValidType(type) && (flags & ~kLengthFixed) == 0);
  Check(conversion == kAsIs || (conversion == kForcedInteger && type == vardInteger) ||
        (conversion == kForcedEvent && type == vardDigital));
  Check(length >= 0 && blocks >= 1 && blocks <= kMaxBlocks &&
        std::int64_t{length} * blocks <= kMaxTotalSamples);
  const bool fixed = flags & kLengthFixed;
  Check(fixed || blocks == 1);
  Axis axes[2];
  for (Axis& a : axes) {
    a.origin = Value<double>();
    a.step = Value<double>();
    a.units = Text(kMaxUnits);
  }
  const std::size_t e = ElementSize(type);
  const std::uint64_t block_bytes = kBlockInfoSize + std::uint64_t(length) * e;
  Check(left_ == block_bytes * static_cast<std::uint64_t>(blocks));

  std::shared_ptr<const WaveformData> empty;
  std::unique_ptr<WaveformWriter> w;
  if (build_) {
    Expect(WaveformData::Create(type, &empty));
    w = std::make_unique<WaveformWriter>(empty);
    Expect(w->SetHorizontal(axes[0].origin, axes[0].step, axes[0].units));
    Expect(w->SetVertical(axes[1].origin, axes[1].step, axes[1].units));
    if (fixed) {
      Expect(w->SetLength(length));
      Expect(w->SetBlockCount(blocks));
    }
  }
  for (std::int32_t b = 0; b < blocks; ++b) {
    BlockInfo info;
    info.triggerTime = Value<double>();
    info.year = Value<std::int16_t>();
    info.month = Value<std::int16_t>();
    info.day = Value<std::int16_t>();
    std::uint64_t sample_bytes = std::uint64_t(length) * e;
    left_ -= sample_bytes;
    std::int64_t next = std::int64_t{b} * length;  // the writer's index space
    while (sample_bytes > 0) {
      const std::byte* p;
      const std::size_t n = in_.TakeSpan(sample_bytes, e, &p);
      sample_bytes -= n;
      const auto count = static_cast<std::int32_t>(n / e);
      if (w)
        Expect(w->Write(static_cast<std::int32_t>(next),
                        static_cast<std::int32_t>(next + count - 1), p, n));
      next += count;
    }
    if (w) Expect(w->SetBlockInfo(b, info));
  }
  if (w) v->waveform = w->Publish();
}

}  // namespace vard::server::collection
