#include "server/core/journal.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "server/core/file_system.h"
#include "server/core/formula_table.h"
#include "server/core/names.h"

namespace vard::server {
namespace {

namespace fmt = collection;
using fmt::Encoder;

thread_local bool t_commit_failed = false;

// magic, version, flags, CRC
constexpr std::uint64_t kHeaderSize = sizeof Journal::kMagic + 8;

std::string InFolder(const std::string& folder, const char* name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return folder + (last == '/' || last == '\\' ? "" : "/") + name;
}

// The row of the formula database whose variable `v` is; 0 for none.
template <class View>
std::uint16_t RowOf(View& view, const Variable& v) {
  for (int row = 1; row <= kFormulaRows; ++row)
    if (view.Row(row).formula == v.formula) return static_cast<std::uint16_t>(row);
  return 0;
}

// A variable's whole published state as one record; a computed one as its
// definition and row, from which a replay compiles it again.
template <class View>
void PutState(fmt::RecordOutput& out, View& view, const Variable& v, std::uint16_t flags) {
  if (!v.formula) {
    out.PutVariable(v, 0, flags);
    return;
  }
  Encoder e;
  e.Text(v.name).Text(v.path).Text(v.description).Text(v.units).Text(v.formula->source);
  e.Value(RowOf(view, v));
  out.PutRecord(Journal::kFormulaRecord, flags, e);
}

template <class View>
std::uint64_t LiveBytes(View& view) {
  std::uint64_t bytes = 0;
  view.ForEach([&](const Variable& v) {
    bytes += fmt::VariableRecordSize(v) + (v.formula ? 2 : 0);  // a formula's row
  });
  return bytes;
}

// One record read back, to be applied with the rest of its group.
struct Step {
  std::uint16_t type = 0;
  Variable v;          // a variable record's whole variable; otherwise its name (and texts)
  std::string source;  // a formula's
  std::uint16_t row = 0;
};

Step ReadStep(fmt::RecordReader& r, std::uint16_t type) {
  Step s;
  s.type = type;
  // A collection's formula record carries no row: the journal writes its own.
  if (fmt::RecordReader::IsVariable(type) && type != fmt::kFormulaRecord) {
    s.v = r.ReadVariable(type);
    return s;
  }
  switch (type) {
    case Journal::kFormulaRecord:
      r.ReadCommon(&s.v);
      s.v.units = r.Text(kMaxUnitsLength);
      s.source = r.Text(formula::kMaxFormulaLength);
      s.row = r.Value<std::uint16_t>();
      break;
    case Journal::kEraseRecord:
      s.v.name = r.Text(kMaxNameLength);
      break;
    case Journal::kDescriptionRecord:
      s.v.name = r.Text(kMaxNameLength);
      s.v.description = r.Text(kMaxDescriptionLength);
      break;
    default:
      s.type = 0;  // a newer writer's record: passed over
      r.Skip();
  }
  fmt::Check(r.left() == 0);
  return s;
}

// Replays one group. Each step takes the pool's lock on its own: nothing
// else uses the pool while a journal is being replayed.
void Apply(Pool& pool, std::vector<Step>& group) {
  for (Step& s : group) {
    if (s.type == Journal::kDescriptionRecord) {
      auto view = pool.Write();
      if (Variable* v = view.Find(s.v.name)) v->description = std::move(s.v.description);
      continue;
    }
    if (s.type != 0) pool.Write().Erase(s.v.name);
    if (fmt::RecordReader::IsVariable(s.type) && s.type != fmt::kFormulaRecord) {
      pool.Write().Insert(std::move(s.v));
    } else if (s.type == Journal::kFormulaRecord) {
      const formula::Definition d{s.v.name, s.source, s.v.units, s.v.description};
      if (s.row >= 1 && s.row <= kFormulaRows) {
        formula::SetFormula(pool, s.row, d);
      } else {
        formula::AddFormula(pool, d);
      }
    }
  }
  group.clear();
}

}  // namespace

bool TakeCommitFailure() noexcept { return std::exchange(t_commit_failed, false); }

Journal::Journal(FileSystem& fs, Pool& pool, const JournalOptions& options)
    : fs_(fs),
      pool_(pool),
      options_(options),
      path_(InFolder(options.folder, kFileName)),
      new_path_(InFolder(options.folder, kNewFileName)) {}

std::unique_ptr<Journal> Journal::Open(FileSystem& fs, Pool& pool, const JournalOptions& options,
                                       std::string* error, ReplayReport* report) {
  std::string ignored;
  ReplayReport local;
  if (!error) error = &ignored;
  if (!report) report = &local;
  try {
    std::unique_ptr<Journal> j(new Journal(fs, pool, options));
    if (!j->Replay(report, error)) return nullptr;
    if (!j->Compact()) {
      *error = "cannot write " + j->new_path_ + " or move it to " + j->path_;
      return nullptr;
    }
    if (options.background) j->thread_ = std::thread(&Journal::Run, j.get());
    pool.AttachJournal(j.get());
    return j;
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  } catch (const std::system_error&) {
    *error = "cannot start the journal's thread";
  }
  return nullptr;
}

Journal::~Journal() {
  pool_.AttachJournal(nullptr);
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (out_ && out_->Drain()) file_->Flush();
}

bool Journal::Replay(ReplayReport* report, std::string* error) {
  if (!fs_.Exists(path_)) return true;  // a new journal
  const std::unique_ptr<InputFile> file = fs_.OpenRead(path_);
  if (!file) {
    *error = "cannot read " + path_;
    return false;
  }
  fmt::RecordReader r(*file, "", true);
  try {
    r.SetLeft(sizeof kMagic + 4);
    r.in().Need(sizeof kMagic + 4);
    fmt::Check(std::memcmp(r.in().Take(sizeof kMagic), kMagic, sizeof kMagic) == 0);
    r.SetLeft(4);
    fmt::Check(r.Value<std::uint16_t>() == kVersion && r.Value<std::uint16_t>() == 0);
    r.SegmentCrc();
  } catch (const fmt::Failure&) {
    *error = path_ + " is not a journal of this server";
    return false;
  }
  report->good_bytes = r.in().offset();
  std::vector<Step> group;
  try {
    while (!r.in().AtEnd()) {
      const fmt::RecordReader::Frame frame = r.ReadFrame();
      fmt::Check((frame.flags & ~kContinued) == 0 && frame.type != fmt::kEndOfRecords);
      group.push_back(ReadStep(r, frame.type));
      r.SegmentCrc();
      if (frame.flags & kContinued) continue;
      Apply(pool_, group);
      ++report->groups;
      report->good_bytes = r.in().offset();
    }
  } catch (const fmt::Failure& f) {
    if (f.code != vardCollCorruptedArchive) {
      *error = f.code == vardCollOutOfMemory ? "out of memory" : "cannot read " + path_;
      return false;
    }
    report->torn = true;  // everything from the first bad record on
  }
  report->torn = report->torn || !group.empty();  // a group the crash cut short
  return true;
}

template <class View>
bool Journal::CompactLocked(View& view) {
  const std::uint64_t old_bytes = BytesLocked();
  std::uint64_t size = 0;
  bool done = false;
  if (std::unique_ptr<OutputFile> file = fs_.Create(new_path_)) {
    fmt::RecordOutput out(file.get());
    Encoder header;
    header.Value(kVersion).Value(std::uint16_t{0});
    out.Put(kMagic, sizeof kMagic);
    out.Put(header.bytes);
    out.SealSegment();
    view.ForEach([&](const Variable& v) { PutState(out, view, v, 0); });
    const bool written = out.Drain() && file->Flush();
    size = out.written();
    file.reset();
    if (written) {
      out_.reset();
      file_.reset();  // closed before the new journal takes its place
      done = fs_.Replace(new_path_, path_);
    }
    if (!done) fs_.Remove(new_path_);
  }
  if (!file_) {  // the new journal, or the old one again when the move failed
    std::unique_ptr<OutputFile> append = fs_.OpenAppend(path_);
    if (!append) {
      broken_ = true;
      return false;
    }
    file_ = std::move(append);
    out_ = std::make_unique<fmt::RecordOutput>(file_.get());
    base_ = done ? size : old_bytes;
  }
  if (done) {
    ++compactions_;
    broken_ = false;
    next_check_ = std::max(2 * (size - kHeaderSize), options_.compaction_floor);
  }
  return done;
}

bool Journal::Compact() {
  const auto view = pool_.Read();
  std::lock_guard lock(mutex_);
  return CompactLocked(view);
}

void Journal::WriteChanges(Pool::WriteView& view, const std::vector<PoolChange>& changes) {
  // The final state of each name (in any case) once, whatever the request
  // did to it on the way.
  std::vector<PoolChange> names;
  if (changes.size() == 1) {
    names = changes;
  } else {
    std::unordered_map<std::string_view, std::size_t, FoldedHash, FoldedEqual> seen;
    for (const PoolChange& c : changes) {
      const auto [it, fresh] = seen.try_emplace(c.name, names.size());
      if (fresh) {
        names.push_back(c);
      } else {
        names[it->second].description_only &= c.description_only;
      }
    }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::uint16_t flags = i + 1 < names.size() ? kContinued : 0;
    const Variable* v = view.Find(names[i].name);
    Encoder e;
    if (v == nullptr) {
      e.Text(names[i].name);
      out_->PutRecord(kEraseRecord, flags, e);
    } else if (names[i].description_only) {
      e.Text(v->name).Text(v->description);
      out_->PutRecord(kDescriptionRecord, flags, e);
    } else {
      PutState(*out_, view, *v, flags);
    }
  }
}

void Journal::Commit(Pool::WriteView& view, const std::vector<PoolChange>& changes) noexcept {
  std::lock_guard lock(mutex_);
  bool ok = false;
  try {
    if (!broken_ && out_) {
      WriteChanges(view, changes);
      ok = out_->Drain() && (options_.flush != FlushPolicy::Always || file_->Flush());
      broken_ = !ok;
    }
    // A journal that may end in a torn record takes no more appends: it is
    // rewritten from the pool, which holds this request's change already.
    if (!ok) ok = CompactLocked(view);
    if (ok) AfterCommit(view);
  } catch (...) {
    if (out_) out_->Spoil();
    broken_ = true;
    ok = false;
  }
  if (!ok) t_commit_failed = true;
}

void Journal::AfterCommit(Pool::WriteView& view) {
  dirty_ = true;
  if (compact_wanted_ || BytesLocked() <= next_check_) return;
  const std::uint64_t limit = std::max(2 * LiveBytes(view), options_.compaction_floor);
  if (BytesLocked() <= limit) {
    next_check_ = limit;
  } else if (options_.background) {
    compact_wanted_ = true;
    wake_.notify_one();
  } else {
    CompactLocked(view);
  }
}

std::uint64_t Journal::BytesLocked() const { return base_ + (out_ ? out_->written() : 0); }

std::uint64_t Journal::Bytes() const {
  std::lock_guard lock(mutex_);
  return BytesLocked();
}

std::uint64_t Journal::Compactions() const {
  std::lock_guard lock(mutex_);
  return compactions_;
}

// Once a second: the flush (EverySecond), and a look at the live data,
// which deletions shrink without a commit noticing. In between: the
// compactions commits ask for.
void Journal::Run() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  auto next_tick = Clock::now();
  while (!stop_) {
    const bool tick = !wake_.wait_until(lock, next_tick, [&] { return stop_ || compact_wanted_; });
    if (stop_) break;
    if (tick) {
      next_tick = Clock::now() + std::chrono::seconds(1);
      if (dirty_ && file_) {
        const std::shared_ptr<OutputFile> file = file_;
        dirty_ = false;
        lock.unlock();
        const bool flushed = file->Flush();  // appends go on meanwhile
        lock.lock();
        if (!flushed && file == file_) broken_ = true;
      }
      if (BytesLocked() <= options_.compaction_floor) continue;
    }
    lock.unlock();
    {
      const auto view = pool_.Read();  // changes wait; reads go on
      std::lock_guard again(mutex_);
      try {
        if (compact_wanted_ ||
            BytesLocked() > std::max(2 * LiveBytes(view), options_.compaction_floor)) {
          CompactLocked(view);
        }
      } catch (...) {
        // Memory ran out: the journal stays as it is, only longer.
      }
      compact_wanted_ = false;
    }
    lock.lock();
  }
}

}  // namespace vard::server
