#include "server/core/waveform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace vard::server {


// A run of samples of one block. Its bytes beyond the block's valid count may
// hold leftovers: whoever lengthens the block zeroes them first. A chunk is
// changed in place only by the writer whose token it carries, and only before
// that writer publishes; everything else treats it as immutable.
struct WaveformData::Chunk {
  std::uint64_t owner = 0;
  std::int32_t capacity = 0;  // samples
  std::unique_ptr<std::byte[]> bytes;
};

namespace {

constexpr std::int64_t K = kChunkSamples;

// What a missing chunk reads as.
alignas(8) const std::byte kZeros[kChunkSamples * 4] = {};

// 64 bits so that a token is never reused while a chunk still carries it.
std::atomic<std::uint64_t> gNextToken{1};

std::int32_t ChunkCount(std::int64_t length) {
  return static_cast<std::int32_t>((length + K - 1) / K);
}

// Samples of chunk c that lie inside a block of the given length.
std::int32_t ValidIn(std::int64_t length, std::int64_t c) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(length - c * K, 0, K));
}

std::string CutUnits(std::string_view units) {
  return std::string(units.substr(0, std::min(units.find('\0'), kMaxUnits)));
}

template <class O>
std::byte* Put(std::byte* out, O v) {
  std::memcpy(out, &v, sizeof v);
  return out + sizeof v;
}

// Minimum and maximum of a group. Floats skip NaN; a group of nothing but NaN
// reports NaN twice.
template <class S>
struct MinMax {
  using L = std::numeric_limits<S>;
  S lo = L::has_infinity ? L::infinity() : L::max();
  S hi = L::has_infinity ? -L::infinity() : L::lowest();
  void Add(const S* p, std::int32_t n) {
    S l = lo, h = hi;
    for (std::int32_t i = 0; i < n; ++i) {
      l = p[i] < l ? p[i] : l;
      h = p[i] > h ? p[i] : h;
    }
    lo = l;
    hi = h;
  }
  void Finish() {
    if constexpr (L::has_quiet_NaN) {
      if (lo > hi) lo = hi = L::quiet_NaN();
    }
  }
};

// walk(f) calls f(bytes, count) over the requested samples in order.
template <class S, class O, class Walk, class Conv>
void ReadPlain(Walk&& walk, std::byte* out, Conv conv) {
  walk([&](const std::byte* bytes, std::int32_t n) {
    if constexpr (std::is_same_v<S, O>) {
      std::memcpy(out, bytes, static_cast<std::size_t>(n) * sizeof(S));
      out += static_cast<std::size_t>(n) * sizeof(S);
    } else {
      const S* p = reinterpret_cast<const S*>(bytes);
      for (std::int32_t i = 0; i < n; ++i) out = Put<O>(out, conv(p[i]));
    }
  });
}

// Two values per group of r samples: the physical minimum, then the maximum.
// `descending` says that a larger sample is a smaller physical value.
template <class S, class O, class Walk, class Conv>
void ReadReduced(Walk&& walk, std::int32_t r, bool descending, std::byte* out, Conv conv) {
  MinMax<S> g;
  std::int32_t left = r;  // samples still missing from the current group
  auto emit = [&] {
    g.Finish();
    out = Put<O>(out, conv(descending ? g.hi : g.lo));
    out = Put<O>(out, conv(descending ? g.lo : g.hi));
    g = MinMax<S>();
    left = r;
  };
  walk([&](const std::byte* bytes, std::int32_t n) {
    const S* p = reinterpret_cast<const S*>(bytes);
    while (n > 0) {
      const std::int32_t m = std::min(n, left);
      g.Add(p, m);
      p += m;
      n -= m;
      left -= m;
      if (left == 0) emit();
    }
  });
  if (left != r) emit();
}

template <class S, class O, class Walk, class Conv>
void ReadAs(Walk&& walk, std::uint16_t reduction, bool descending, std::byte* out, Conv conv) {
  if (reduction <= 1)
    ReadPlain<S, O>(walk, out, conv);
  else
    ReadReduced<S, O>(walk, reduction, descending, out, conv);
}

// round((v - y0) / yStep), halves away from zero, saturated. Written out by
// hand because std::round is a library call per sample on the baseline CPU.
std::int16_t FloatToWord(float v, double y0, double yStep) {
  double q = (static_cast<double>(v) - y0) / (yStep == 0.0 ? 1.0 : yStep);
  if (q != q) return 0;  // NaN
  q = std::clamp(q, -32768.0, 32767.0);
  auto t = static_cast<std::int32_t>(q);  // toward zero
  const double frac = q - t;              // exact
  t += frac >= 0.5 ? 1 : frac <= -0.5 ? -1 : 0;
  return static_cast<std::int16_t>(t);
}

}  // namespace

// ---------------------------------------------------------------------------
// WaveformData

std::uint16_t WaveformData::Create(std::int16_t type, std::shared_ptr<const WaveformData>* out) {
  if (!IsValidType(type)) return vardInvalidType;
  try {
    std::shared_ptr<WaveformData> w(new WaveformData(type));
    w->blocks_.resize(1);
    *out = std::move(w);
    return vardOK;
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
}

bool WaveformData::IsValidType(std::int16_t type) {
  return type == vardDigital || type == vardInteger || type == vardFloat;
}

const std::byte* WaveformData::ChunkBytes(const Block& b, std::int32_t chunk) const {
  const ChunkPtr& c = b.chunks[static_cast<std::size_t>(chunk)];
  return c ? c->bytes.get() : kZeros;
}

template <class F>
void WaveformData::ForEachSpan(const Block& b, std::int32_t first, std::int32_t count,
                               F&& f) const {
  const std::size_t e = ElementSize(type_);
  while (count > 0) {
    const std::int32_t c = first / kChunkSamples;
    const std::int32_t off = first % kChunkSamples;
    const std::int32_t n = std::min(count, kChunkSamples - off);
    f(ChunkBytes(b, c) + static_cast<std::size_t>(off) * e, n);
    first += n;
    count -= n;
  }
}

void WaveformData::CopyRaw(const Block& b, std::int32_t first, std::int32_t count,
                           std::byte* out) const {
  const std::size_t e = ElementSize(type_);
  ForEachSpan(b, first, count, [&](const std::byte* p, std::int32_t n) {
    std::memcpy(out, p, static_cast<std::size_t>(n) * e);
    out += static_cast<std::size_t>(n) * e;
  });
}

double WaveformData::Physical(const Block& b, std::int32_t index) const {
  const std::byte* p = ChunkBytes(b, index / kChunkSamples);
  const std::size_t i = static_cast<std::size_t>(index % kChunkSamples);
  switch (type_) {
    case vardFloat:
      return reinterpret_cast<const float*>(p)[i];
    case vardInteger:
      return y_.origin + y_.step * reinterpret_cast<const std::int16_t*>(p)[i];
    default:
      return reinterpret_cast<const std::uint16_t*>(p)[i];
  }
}

std::int64_t WaveformData::storedBytes() const {
  std::int64_t total = 0;
  for (const Block& b : blocks_)
    for (const ChunkPtr& c : b.chunks)
      if (c) total += std::int64_t{c->capacity} * static_cast<std::int64_t>(ElementSize(type_));
  return total;
}

std::uint16_t WaveformData::Info(int block, BlockInfo* out) const {
  if (block < 0 || block >= blocks()) return vardNoSuchData;
  *out = blocks_[static_cast<std::size_t>(block)].info;
  return vardOK;
}

std::int64_t WaveformData::ReadElementCount(std::int64_t n, std::uint16_t reduction) {
  if (reduction <= 1) return n;
  return 2 * ((n + reduction - 1) / reduction);
}

std::uint16_t WaveformData::Read(int block, std::int32_t first, std::int32_t last,
                                 std::uint16_t reduction, std::int16_t dataType, void* out,
                                 std::size_t capacityBytes, std::size_t* bytesWritten) const {
  if (block < 0 || block >= blocks()) return vardNoSuchData;
  if (first < 0 || last < first) return vardInvalidParameter;
  if (last >= length_) return vardNoSuchData;
  const std::int32_t n = last - first + 1;
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(ReadElementCount(n, reduction)) * ElementSize(dataType);
  if (bytes > capacityBytes) return vardInvalidParameter;

  const Block& b = blocks_[static_cast<std::size_t>(block)];
  auto walk = [&](auto&& f) { ForEachSpan(b, first, n, f); };
  auto* dst = static_cast<std::byte*>(out);
  const double y0 = y_.origin, dy = y_.step;
  const bool wantFloat = dataType == vardFloat;
  switch (type_) {
    case vardFloat:
      if (wantFloat)
        ReadAs<float, float>(walk, reduction, false, dst, [](float v) { return v; });
      else
        ReadAs<float, std::int16_t>(walk, reduction, false, dst,
                                    [=](float v) { return FloatToWord(v, y0, dy); });
      break;
    case vardInteger:
      if (wantFloat)
        ReadAs<std::int16_t, float>(walk, reduction, dy < 0, dst, [=](std::int16_t s) {
          return static_cast<float>(y0 + dy * s);
        });
      else
        ReadAs<std::int16_t, std::int16_t>(walk, reduction, dy < 0, dst,
                                           [](std::int16_t s) { return s; });
      break;
    default:
      if (wantFloat)
        ReadAs<std::uint16_t, float>(walk, reduction, false, dst,
                                     [](std::uint16_t s) { return static_cast<float>(s); });
      else
        ReadAs<std::uint16_t, std::uint16_t>(walk, reduction, false, dst,
                                             [](std::uint16_t s) { return s; });
      break;
  }
  *bytesWritten = static_cast<std::size_t>(bytes);
  return vardOK;
}

std::uint16_t WaveformData::ValueAt(int block, double x, double* y) const {
  if (block < 0 || block >= blocks() || length_ == 0 || std::isnan(x)) return vardNoSuchData;
  const Block& b = blocks_[static_cast<std::size_t>(block)];
  if (x_.step == 0.0 || !std::isfinite(x_.step)) {
    if (x != x_.origin) return vardNoSuchData;
    *y = Physical(b, 0);
    return vardOK;
  }
  const double end = static_cast<double>(length_ - 1);
  double pos = (x - x_.origin) / x_.step;
  // An X computed by the caller as X0 + i·XStep may miss the grid by rounding.
  const double slack = 1e-9 + 8 * std::numeric_limits<double>::epsilon() * end;
  if (!(pos >= -slack && pos <= end + slack)) return vardNoSuchData;
  pos = std::clamp(pos, 0.0, end);
  // The same rounding can leave a position just below a sample; a digital
  // state must then be that sample's, not the previous one's.
  const double nearest = std::round(pos);
  if (std::fabs(pos - nearest) <= slack) pos = nearest;
  const auto i = static_cast<std::int32_t>(pos);
  const double frac = pos - i;
  const double a = Physical(b, i);
  if (frac == 0.0 || type_ == vardDigital) {
    *y = a;  // a digital state holds until the next sample
  } else {
    *y = a + frac * (Physical(b, i + 1) - a);
  }
  return vardOK;
}

// ---------------------------------------------------------------------------
// WaveformWriter

WaveformWriter::WaveformWriter(std::shared_ptr<const WaveformData> base)
    : base_(std::move(base)), token_(gNextToken.fetch_add(1)) {}

WaveformData& WaveformWriter::Own() {
  if (!own_) own_ = std::make_shared<WaveformData>(*base_);
  return *own_;
}

bool WaveformWriter::Owns(const ChunkPtr& c) const { return c && c->owner == token_; }

WaveformWriter::ChunkPtr WaveformWriter::NewChunk(std::int32_t capacity) const {
  auto c = std::make_shared<Chunk>();
  c->owner = token_;
  c->capacity = capacity;
  c->bytes = std::make_unique_for_overwrite<std::byte[]>(static_cast<std::size_t>(capacity) *
                                                         ElementSize(type()));
  return c;
}

std::shared_ptr<const WaveformData> WaveformWriter::Publish() noexcept {
  if (own_) {
    base_ = std::move(own_);
    own_.reset();
    // Chunks written so far now belong to the snapshot: never again in place.
    token_ = gNextToken.fetch_add(1);
  }
  return base_;
}

std::uint16_t WaveformWriter::SetHorizontal(double x0, double xStep, std::string_view units) {
  try {
    Axis a{x0, xStep, CutUnits(units)};
    Own().x_ = std::move(a);
    return vardOK;
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
}

std::uint16_t WaveformWriter::SetVertical(double y0, double yStep, std::string_view units) {
  try {
    Axis a{y0, yStep, CutUnits(units)};
    Own().y_ = std::move(a);
    return vardOK;
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
}

std::uint16_t WaveformWriter::SetBlockInfo(const BlockInfo& info) {
  try {
    Own().blocks_[static_cast<std::size_t>(current_block_)].info = info;
    return vardOK;
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
}

std::uint16_t WaveformWriter::ReadBack(std::int32_t first, std::int32_t last, void* out,
                                       std::size_t capacityBytes, std::size_t* bytesWritten) const {
  if (first < 0 || last < first) return vardInvalidParameter;
  const WaveformData& d = current();
  const std::int64_t length = d.length_;
  if (last >= length * d.blocks()) return vardNoSuchData;
  const std::size_t e = ElementSize(d.type_);
  const std::uint64_t bytes = (static_cast<std::uint64_t>(last) - first + 1) * e;
  if (bytes > capacityBytes) return vardInvalidParameter;
  auto* dst = static_cast<std::byte*>(out);
  for (std::int64_t s = first; s <= last;) {
    const auto off = static_cast<std::int32_t>(s % length);
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(last - s + 1, length - off));
    d.CopyRaw(d.blocks_[static_cast<std::size_t>(s / length)], off, n, dst);
    dst += static_cast<std::size_t>(n) * e;
    s += n;
  }
  *bytesWritten = static_cast<std::size_t>(bytes);
  return vardOK;
}

// One chunk a write or a length change touches, prepared before anything
// visible changes so that running out of memory leaves the writer as it was.
struct WaveformWriter::Fresh {
  std::int32_t block;
  std::int32_t chunk;
  ChunkPtr replacement;       // null: the chunk is changed in place
  Chunk* target;              // the chunk that ends up in the table
  std::int32_t zeroFrom = 0;  // in-place samples to clear (a lengthened tail)
  std::int32_t zeroTo = 0;
  std::int32_t writeFrom = 0;  // samples of this chunk the write covers
  std::int32_t writeTo = 0;
};

std::uint16_t WaveformWriter::Write(std::int32_t first, std::int32_t last, const void* src,
                                    std::size_t srcBytes) {
  if (first < 0 || last < first) return vardInvalidParameter;
  const std::uint64_t bytes = (static_cast<std::uint64_t>(last) - first + 1) * ElementSize(type());
  if (bytes > srcBytes) return vardInvalidParameter;
  try {
    return DoWrite(first, last, src);
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
}

std::uint16_t WaveformWriter::DoWrite(std::int32_t first, std::int32_t last, const void* src) {
  const WaveformData& cur = current();
  const std::int64_t oldLength = cur.length_;
  const std::int64_t oldBlocks = cur.blocks();
  const bool grow = !cur.length_fixed_ && oldBlocks == 1;
  std::int64_t length = oldLength, blocks = oldBlocks;
  if (grow) {
    length = std::max<std::int64_t>(oldLength, std::int64_t{last} + 1);
    if (length > kMaxTotalSamples) return vardOutOfMemory;
  } else {
    if (length == 0) return vardInvalidParameter;  // no block can take a sample
    blocks = std::max<std::int64_t>(oldBlocks, last / length + 1);
    if (blocks > kMaxBlocks || blocks * length > kMaxTotalSamples) return vardOutOfMemory;
  }

  // Prepare: everything that can fail happens here.
  WaveformData& w = Own();
  w.blocks_.reserve(static_cast<std::size_t>(blocks));
  std::vector<Block> added(static_cast<std::size_t>(blocks - oldBlocks));
  for (Block& b : added) b.chunks.resize(static_cast<std::size_t>(ChunkCount(length)));
  if (grow) w.blocks_[0].chunks.reserve(static_cast<std::size_t>(ChunkCount(length)));

  std::vector<Fresh> work;
  auto prepare = [&](std::int64_t b, std::int32_t c, std::int32_t from, std::int32_t to) {
    const bool existing = b < oldBlocks;
    Block& blk = existing ? w.blocks_[static_cast<std::size_t>(b)]
                          : added[static_cast<std::size_t>(b - oldBlocks)];
    const ChunkPtr none;
    const ChunkPtr& old = c < static_cast<std::int64_t>(blk.chunks.size())
                              ? blk.chunks[static_cast<std::size_t>(c)]
                              : none;
    const std::int32_t oldValid = existing ? ValidIn(oldLength, c) : 0;
    const std::int32_t newValid = ValidIn(length, c);
    Fresh f{static_cast<std::int32_t>(b), c, nullptr, nullptr};
    f.writeFrom = from;
    f.writeTo = to;
    if (Owns(old) && old->capacity >= newValid) {
      f.target = old.get();
      f.zeroFrom = oldValid;
      f.zeroTo = newValid;
    } else {
      // A block that may still grow gets room to grow into; a fixed one exactly its size.
      std::int32_t cap = newValid;
      if (grow)
        cap = c > 0 ? kChunkSamples
                    : std::min<std::int32_t>(kChunkSamples,
                                             std::max(newValid, old ? 2 * old->capacity : 0));
      f.replacement = NewChunk(cap);
      f.target = f.replacement.get();
      const std::size_t e = ElementSize(w.type_);
      const std::int32_t keep = old ? std::min(oldValid, newValid) : 0;
      std::byte* p = f.target->bytes.get();
      if (keep > 0) std::memcpy(p, old->bytes.get(), static_cast<std::size_t>(keep) * e);
      // Clear what neither the old chunk nor this write provides.
      const std::int32_t z1 = std::max(keep, std::min(from, newValid));
      std::memset(p + keep * e, 0, static_cast<std::size_t>(z1 - keep) * e);
      const std::int32_t z2 = std::max(keep, to);
      if (z2 < newValid) std::memset(p + z2 * e, 0, static_cast<std::size_t>(newValid - z2) * e);
    }
    work.push_back(std::move(f));
  };

  // The write range, cut at block and chunk boundaries.
  bool tailTouched = false;
  const std::int32_t tailChunk = static_cast<std::int32_t>(oldLength / K);
  for (std::int64_t s = first; s <= last;) {
    const std::int64_t b = s / length;
    const std::int64_t off = s % length;
    const auto c = static_cast<std::int32_t>(off / K);
    const auto from = static_cast<std::int32_t>(off % K);
    const auto n = std::min<std::int64_t>({last - s + 1, K - from, length - off});
    if (b == 0 && c == tailChunk) tailTouched = true;
    prepare(b, c, from, static_cast<std::int32_t>(from + n));
    s += n;
  }
  // A lengthened block 0 whose old last chunk is partial: its tail must read as zeros.
  if (grow && length > oldLength && oldLength % K != 0 && !tailTouched &&
      w.blocks_[0].chunks[static_cast<std::size_t>(tailChunk)])
    prepare(0, tailChunk, 0, 0);

  // Commit: nothing below allocates.
  if (grow) {
    w.blocks_[0].chunks.resize(static_cast<std::size_t>(ChunkCount(length)));
    w.length_ = static_cast<std::int32_t>(length);
  }
  for (Block& b : added) w.blocks_.push_back(std::move(b));
  const std::size_t e = ElementSize(w.type_);
  const auto* in = static_cast<const std::byte*>(src);
  for (Fresh& f : work) {
    std::byte* p = f.target->bytes.get();
    if (f.zeroTo > f.zeroFrom)
      std::memset(p + f.zeroFrom * e, 0, static_cast<std::size_t>(f.zeroTo - f.zeroFrom) * e);
    const std::size_t n = static_cast<std::size_t>(f.writeTo - f.writeFrom) * e;
    std::memcpy(p + f.writeFrom * e, in, n);
    in += n;
    if (f.replacement)
      w.blocks_[static_cast<std::size_t>(f.block)].chunks[static_cast<std::size_t>(f.chunk)] =
          std::move(f.replacement);
  }
  current_block_ = static_cast<std::int32_t>(last / length);
  return vardOK;
}

std::uint16_t WaveformWriter::SetLength(std::int32_t newLength) {
  if (newLength < 0) return vardInvalidParameter;
  if (std::int64_t{newLength} * current().blocks() > kMaxTotalSamples) return vardOutOfMemory;
  try {
    return DoSetLength(newLength);
  } catch (const std::bad_alloc&) {
    return vardOutOfMemory;
  }
}

std::uint16_t WaveformWriter::DoSetLength(std::int32_t newLength) {
  WaveformData& w = Own();
  const std::int32_t oldLength = w.length_;
  const auto chunks = static_cast<std::size_t>(ChunkCount(newLength));
  std::vector<Fresh> work;
  if (newLength > oldLength) {
    for (Block& b : w.blocks_) b.chunks.reserve(chunks);
    // Each block's partial last chunk gains samples that must read as zeros.
    const std::int32_t c = oldLength / kChunkSamples;
    const std::int32_t oldValid = ValidIn(oldLength, c);
    const std::int32_t newValid = ValidIn(newLength, c);
    if (oldValid > 0 && oldValid < kChunkSamples) {
      const std::size_t e = ElementSize(w.type_);
      for (std::size_t b = 0; b < w.blocks_.size(); ++b) {
        const ChunkPtr& old = w.blocks_[b].chunks[static_cast<std::size_t>(c)];
        if (!old) continue;
        Fresh f{static_cast<std::int32_t>(b), c, nullptr, old.get()};
        if (Owns(old) && old->capacity >= newValid) {
          f.zeroFrom = oldValid;
          f.zeroTo = newValid;
        } else {
          f.replacement = NewChunk(newValid);
          f.target = f.replacement.get();
          std::memcpy(f.target->bytes.get(), old->bytes.get(), oldValid * e);
          std::memset(f.target->bytes.get() + oldValid * e, 0, (newValid - oldValid) * e);
        }
        work.push_back(std::move(f));
      }
    }
  }

  // Commit: resizing within reserved capacity or shrinking does not allocate.
  const std::size_t e = ElementSize(w.type_);
  for (Fresh& f : work) {
    Block& b = w.blocks_[static_cast<std::size_t>(f.block)];
    if (f.replacement)
      b.chunks[static_cast<std::size_t>(f.chunk)] = std::move(f.replacement);
    else
      std::memset(f.target->bytes.get() + f.zeroFrom * e, 0, (f.zeroTo - f.zeroFrom) * e);
  }
  for (Block& b : w.blocks_) b.chunks.resize(chunks);
  w.length_ = newLength;
  // An emptied single-block waveform grows on writes again, like a new one.
  w.length_fixed_ = !(newLength == 0 && w.blocks_.size() == 1);
  return vardOK;
}

}  // namespace vard::server
