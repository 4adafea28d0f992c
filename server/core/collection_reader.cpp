#include "server/core/collection_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "include/vard_enums.h"
#include "server/core/collection_records.h"
#include "server/core/file_system.h"
#include "server/core/formula_table.h"
#include "server/core/names.h"
#include "server/core/pool.h"
#include "server/core/waveform.h"

namespace vard::server {
namespace {

namespace fmt = collection;
using fmt::Check;
using fmt::Fail;
using fmt::Failure;

// One pass over the file. Without `out` it only checks; with it, it also
// builds the variables.
class Pass : fmt::RecordReader {
 public:
  Pass(InputFile& file, std::string_view prefix, std::vector<Variable>* out)
      : RecordReader(file, prefix, out != nullptr), out_(out) {}

  // The whole file; the answer of the first pass also tells about unknown
  // records and paths that the prefix makes too long.
  std::uint16_t Run() {
    Header();
    std::uint32_t records = 0;
    for (;;) {
      const Frame frame = ReadFrame();
      Check(frame.flags == 0);
      if (frame.type == fmt::kEndOfRecords) break;
      Record(frame.type);
      SegmentCrc();
      ++records;
    }
    SetLeft(12);  // record count, trailer offset
    const std::uint64_t trailer_offset = in().offset() - 4;
    Check(Value<std::uint32_t>() == records);
    Check(Value<std::uint64_t>() == trailer_offset);
    in().crc().EndSegment();
    const std::uint32_t crc = in().crc().Crc();
    SetLeft(fmt::kCrcSize);
    Check(Value<std::uint32_t>() == crc && in().AtEnd());
    if (unknown_record_) return vardCollUnknownItem;
    if (prefix_too_long()) return vardCollPrefixToLong;
    return vardCollReturnOK;
  }

 private:
  void Header() {
    SetLeft(fmt::kHeaderPrefixSize);
    try {
      in().Need(sizeof fmt::kMagic);
    } catch (const Failure& f) {
      Fail(f.code == vardCollCorruptedArchive ? std::uint16_t{vardCollNotVardCollFile} : f.code);
    }
    Check(std::memcmp(in().Take(sizeof fmt::kMagic), fmt::kMagic, sizeof fmt::kMagic) == 0,
          vardCollNotVardCollFile);
    SetLeft(left() - sizeof fmt::kMagic);
    Check(Value<std::uint16_t>() == fmt::kFormatVersion, vardCollNotVardCollFile);
    Check(Value<std::uint16_t>() == 0);
    SetLeft(Value<std::uint32_t>());
    Check(left() <= fmt::kMaxHeaderLength);
    Value<std::int64_t>();  // the creation time
    Text(fmt::kMaxWriterLength);
    Text(fmt::kMaxCommentLength);
    Check(left() == 0);
    SegmentCrc();
  }

  void Record(std::uint16_t type) {
    if (!IsVariable(type)) {
      unknown_record_ = true;  // a newer writer's kind
      Skip();
      return;
    }
    Variable v = ReadVariable(type);
    if (out_) Keep(std::move(v));
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

  std::vector<Variable>* const out_;
  bool unknown_record_ = false;
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
    // Replacements are noted for the journal before anything is replaced.
    for (std::size_t i = 0; i < vars.size(); ++i)
      if (exists[i]) view.Changed(*view.Find(vars[i].name));
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
