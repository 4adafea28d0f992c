#include "server/core/collection_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "include/vard_enums.h"
#include "server/core/collection_format.h"
#include "server/core/file_system.h"
#include "server/core/formula_table.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/waveform.h"

namespace vard::server {
namespace {

namespace fmt = collection;

constexpr std::size_t kBufferSize = 1024 * 1024;

// How a pass ends early: the code it answers. Thrown only inside this file.
struct Failure {
  std::uint16_t code;
};
[[noreturn]] void Fail(std::uint16_t code) { throw Failure{code}; }
void Check(bool ok, std::uint16_t code = vardCollCorruptedArchive) {
  if (!ok) Fail(code);
}

// Buffered reading that passes every byte it hands out through the CRC.
class Input {
 public:
  explicit Input(InputFile& file)
      : file_(file), buffer_(std::make_unique_for_overwrite<std::byte[]>(kBufferSize)) {}

  // At least n bytes (n <= the buffer) ready to take; a file that ends first is truncated.
  void Need(std::size_t n) {
    if (end_ - pos_ >= n) return;
    std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < n) {
      std::size_t got = 0;
      Check(file_.Read(buffer_.get() + end_, kBufferSize - end_, &got), vardCollFileRead);
      Check(got > 0);
      end_ += got;
    }
  }
  const std::byte* Take(std::size_t n) {
    Need(n);
    const std::byte* p = buffer_.get() + pos_;
    crc_.Add(p, n);
    pos_ += n;
    offset_ += n;
    return p;
  }
  // Between `unit` and `max` bytes, a whole number of units (max is one too).
  std::size_t TakeSpan(std::uint64_t max, std::size_t unit, const std::byte** p) {
    Need(unit);
    std::size_t n = std::min<std::uint64_t>(max, end_ - pos_);
    n -= n % unit;
    *p = Take(n);
    return n;
  }
  bool AtEnd() {
    if (pos_ < end_) return false;
    std::size_t got = 0;
    Check(file_.Read(buffer_.get(), kBufferSize, &got), vardCollFileRead);
    pos_ = 0;
    end_ = got;
    return got == 0;
  }
  fmt::CrcTracker& crc() { return crc_; }
  std::uint64_t offset() const { return offset_; }

 private:
  InputFile& file_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  std::uint64_t offset_ = 0;
  fmt::CrcTracker crc_;
};

// A store's answer while building, as the loader's code.
void Expect(std::uint16_t store_code) {
  if (store_code == vardOutOfMemory) Fail(vardCollOutOfMemory);
  Check(store_code == vardOK);
}

// One pass over the file. Without `out` it only checks; with it, it also
// builds the variables.
class Pass {
 public:
  Pass(InputFile& file, std::string_view prefix, std::vector<Variable>* out)
      : in_(file), prefix_(prefix), out_(out) {}

  // The whole file; the answer of the first pass also tells about unknown
  // records and paths that the prefix makes too long.
  std::uint16_t Run() {
    Header();
    std::uint32_t records = 0;
    for (;;) {
      left_ = fmt::kFrameSize;
      const auto type = Value<std::uint16_t>();
      Check(Value<std::uint16_t>() == 0);
      if (type == fmt::kEndOfRecords) break;
      left_ = Value<std::uint64_t>();
      Record(type);
      SegmentCrc();
      ++records;
    }
    left_ = 12;  // record count, trailer offset
    const std::uint64_t trailer_offset = in_.offset() - 4;
    Check(Value<std::uint32_t>() == records);
    Check(Value<std::uint64_t>() == trailer_offset);
    in_.crc().EndSegment();
    const std::uint32_t crc = in_.crc().Crc();
    left_ = fmt::kCrcSize;
    Check(Value<std::uint32_t>() == crc && in_.AtEnd());
    if (unknown_record_) return vardCollUnknownItem;
    if (prefix_too_long_) return vardCollPrefixToLong;
    return vardCollReturnOK;
  }

 private:
  void Header() {
    left_ = fmt::kHeaderPrefixSize;
    try {
      in_.Need(sizeof fmt::kMagic);
    } catch (const Failure& f) {
      Fail(f.code == vardCollCorruptedArchive ? std::uint16_t{vardCollNotVardCollFile} : f.code);
    }
    Check(std::memcmp(in_.Take(sizeof fmt::kMagic), fmt::kMagic, sizeof fmt::kMagic) == 0,
          vardCollNotVardCollFile);
    left_ -= sizeof fmt::kMagic;
    Check(Value<std::uint16_t>() == fmt::kFormatVersion, vardCollNotVardCollFile);
    Check(Value<std::uint16_t>() == 0);
    left_ = Value<std::uint32_t>();
    Check(left_ <= fmt::kMaxHeaderLength);
    Value<std::int64_t>();  // the creation time
    Text(fmt::kMaxWriterLength);
    Text(fmt::kMaxCommentLength);
    Check(left_ == 0);
    SegmentCrc();
  }

  // The CRC field that ends a header or a record. It counts towards the
  // file's CRC but is a segment of its own, so the next record's CRC starts
  // with that record's first byte.
  void SegmentCrc() {
    const std::uint32_t crc = in_.crc().EndSegment();
    left_ = fmt::kCrcSize;
    Check(Value<std::uint32_t>() == crc);
    in_.crc().EndSegment();
  }

  template <class T>
  T Value() {
    Check(left_ >= sizeof(T));
    left_ -= sizeof(T);
    T v;
    std::memcpy(&v, in_.Take(sizeof v), sizeof v);
    return v;
  }
  // The first pass keeps only the texts it checks.
  std::string Text(std::size_t max, bool keep = false) {
    const auto n = Value<std::uint16_t>();
    Check(n <= max && left_ >= n);
    left_ -= n;
    const auto* p = reinterpret_cast<const char*>(in_.Take(n));
    return keep || out_ ? std::string(p, n) : std::string();
  }
  void Skip() {
    for (const std::byte* p; left_ > 0;) left_ -= in_.TakeSpan(left_, 1, &p);
  }

  void Record(std::uint16_t type) {
    if (type != fmt::kNumberRecord && type != fmt::kStringRecord && type != fmt::kWaveformRecord &&
        type != fmt::kFormulaRecord) {
      unknown_record_ = true;  // a newer writer's kind
      Skip();
      return;
    }
    Variable v;
    Common(&v);
    if (type == fmt::kNumberRecord) {
      v.kind = Kind::Number;
      v.value = Value<double>();
      v.units = Text(kMaxUnitsLength);
    } else if (type == fmt::kStringRecord) {
      v.kind = Kind::String;
      v.text = Text(kMaxStringLength);
    } else if (type == fmt::kFormulaRecord) {
      FormulaVariable(&v);
    } else {
      v.kind = Kind::Waveform;
      Waveform(&v);
    }
    Check(left_ == 0);
    if (out_) Keep(std::move(v));
  }

  // Name, path (with the prefix in front) and description. Names and paths
  // are checked whether or not they are kept: the first pass must refuse
  // what the second could not create.
  void Common(Variable* v) {
    std::string name = Text(kMaxNameLength, true);
    std::string path = Text(kMaxPathLength, true);
    Check(IsValidName(name) && IsValidPath(path));
    if (!prefix_.empty()) path = std::string(prefix_) + (path.empty() ? "" : ".") + path;
    prefix_too_long_ = prefix_too_long_ || path.size() > kMaxPathLength;
    v->name = std::move(name);
    v->path = std::move(path);
    v->description = Text(kMaxDescriptionLength);
  }

  // Compiled in the second pass only, so the first allocates nothing; the
  // names it refers to need not exist (a formula computes on reading).
  void FormulaVariable(Variable* v) {
    const std::string text = Text(formula::kMaxFormulaLength);
    const std::string units = Text(kMaxUnitsLength);
    if (!out_) return;
    Variable made;
    Check(formula::MakeVariable(formula::Definition{v->name, text, units, v->description}, &made) ==
          vardOK);
    made.path = std::move(v->path);
    *v = std::move(made);
  }

  void Waveform(Variable* v) {
    const auto type = Value<std::int16_t>();
    const auto flags = Value<std::uint8_t>();
    const auto conversion = Value<std::uint8_t>();
    const auto length = Value<std::int32_t>();
    const auto blocks = Value<std::int32_t>();
    Check(WaveformData::IsValidType(type) && (flags & ~fmt::kLengthFixed) == 0);
    Check(conversion == fmt::kAsIs || (conversion == fmt::kForcedInteger && type == vardInteger) ||
          (conversion == fmt::kForcedEvent && type == vardDigital));
    Check(length >= 0 && blocks >= 1 && blocks <= kMaxBlocks &&
          std::int64_t{length} * blocks <= kMaxTotalSamples);
    const bool fixed = flags & fmt::kLengthFixed;
    Check(fixed || blocks == 1);
    Axis axes[2];
    for (Axis& a : axes) {
      a.origin = Value<double>();
      a.step = Value<double>();
      a.units = Text(kMaxUnits);
    }
    const std::size_t e = ElementSize(type);
    const std::uint64_t block_bytes = fmt::kBlockInfoSize + std::uint64_t(length) * e;
    Check(left_ == block_bytes * static_cast<std::uint64_t>(blocks));

    std::shared_ptr<const WaveformData> empty;
    std::unique_ptr<WaveformWriter> w;
    if (out_) {
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

  // The later of two records of one name wins.
  void Keep(Variable v) {
    const auto it = index_.find(v.name);
    if (it != index_.end()) {
      (*out_)[it->second] = std::move(v);
      return;
    }
    index_.emplace(v.name, out_->size());
    out_->push_back(std::move(v));
  }

  Input in_;
  const std::string_view prefix_;
  std::vector<Variable>* const out_;
  std::uint64_t left_ = 0;  // bytes left in the part being read
  bool unknown_record_ = false;
  bool prefix_too_long_ = false;
  std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> index_;
};

// Everything or nothing: the variables that replace others are checked
// first and the formula variables' rows planned, new names are inserted (and
// taken out again should memory run out), and only then, with nothing left
// that can fail, the others take the place of the variables of their names
// and the planned rows name the formulas. What they replaced comes back in
// `vars`, to be freed after the lock.
std::uint16_t Insert(Pool& pool, std::vector<Variable>& vars) {
  std::vector<bool> exists(vars.size());
  std::vector<Variable*> inserted;
  inserted.reserve(vars.size());
  formula::RowPlan rows;
  auto view = pool.Write();
  for (std::size_t i = 0; i < vars.size(); ++i) {
    const Variable* old = view.Find(vars[i].name);
    if (old && old->OpenForWriting()) return vardProcNotAllowed;
    exists[i] = old != nullptr;
  }
  // The formula database's rows are handles of the server's: none left, none taken.
  if (rows.Plan(view, vars) != vardOK) return vardCollOutOfHandles;
  try {
    for (std::size_t i = 0; i < vars.size(); ++i)
      if (!exists[i]) inserted.push_back(view.Insert(std::move(vars[i])));
  } catch (const std::bad_alloc&) {
    for (Variable* v : inserted) view.Erase(v->name);
    return vardCollOutOfMemory;
  }
  // The pool's key keeps the old spelling; it folds to the same name.
  for (std::size_t i = 0; i < vars.size(); ++i)
    if (exists[i]) std::swap(*view.Find(vars[i].name), vars[i]);
  rows.Apply(view);
  return vardCollReturnOK;
}

}  // namespace

std::uint16_t LoadCollection(FileSystem& fs, Pool& pool, const std::string& path,
                             std::string_view prefix) {
  if (prefix.size() > kMaxPrefixLength) return vardCollPrefixToLong;
  if (!IsValidPath(prefix)) return vardCollNoPrefix;
  if (path.empty() || !fs.IsAbsolute(path)) return vardCollOpenFile;
  try {
    const std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file) return vardCollOpenFile;
    if (const std::uint16_t rc = Pass(*file, prefix, nullptr).Run(); rc != vardCollReturnOK)
      return rc;
    if (!file->Rewind()) return vardCollFileRead;
    std::vector<Variable> vars;
    if (const std::uint16_t rc = Pass(*file, prefix, &vars).Run(); rc != vardCollReturnOK)
      return rc;
    return Insert(pool, vars);
  } catch (const Failure& f) {
    return f.code;
  } catch (const std::bad_alloc&) {
    return vardCollOutOfMemory;
  }
}

}  // namespace vard::server
