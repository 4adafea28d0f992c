// The data pool: every variable of every client, in one place.
//
// One Pool lives in the host process and all clients' sessions share it.
// Requests of different clients run on different threads, so the pool is
// guarded by one reader/writer lock: a request takes a ReadView (shared) or a
// WriteView (exclusive) once and does all its work under that one hold, so it
// sees the pool in one consistent state and readers never wait for readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "include/vard_enums.h"
#include "server/core/names.h"

namespace vard::server {

class WaveformData;  // sample storage, owned by the waveform family
class NameIndex;     // the enumeration's sorted snapshot (enumeration.h)
namespace formula {
struct Formula;  // a compiled formula (formula_parser.h)
}

enum class Kind : std::uint8_t { Number, String, Waveform };

// Held (through a shared_ptr) by whoever has a waveform open for writing; the
// variable keeps only a weak_ptr, so the claim ends by itself when the writer
// goes away, however it goes away, without the writer touching the pool.
struct WriteClaim {
  std::uint64_t session_id = 0;
};

struct Variable {
  std::string name;  // as created; the pool's key, never change it in place
  std::string path;  // as created; empty is the root
  std::string description;
  Kind kind = Kind::Number;

  // Kind::Number
  double value = 0.0;
  std::string units;
  // A computed number: set for the variables of the formula database. Its
  // value is this formula evaluated when read (formula_eval.h: NumberValue);
  // `value` is unused. Everything else (name, units, description, type) is
  // the variable's as for any number.
  std::shared_ptr<const formula::Formula> formula;

  // Kind::String
  std::string text;

  // Kind::Waveform: the published snapshot (never null for a waveform; the
  // sample type is the snapshot's) and the claim of its writer, if any.
  std::shared_ptr<const WaveformData> waveform;
  std::weak_ptr<const WriteClaim> writer;

  bool OpenForWriting() const noexcept { return kind == Kind::Waveform && !writer.expired(); }
  vardVarType Type() const noexcept;
  // The sample type of a waveform, read from its snapshot.
  vardDataType SampleType() const noexcept;
};

// One row of the formula database (formula_table.h). The row is occupied
// while the pool holds a variable of that name whose `formula` is this very
// one; a row whose variable was deleted, by any operation, is empty.
struct FormulaRow {
  std::string name;
  std::shared_ptr<const formula::Formula> formula;
};
inline constexpr int kFormulaRows = 512;

class Pool {
  using Map = std::unordered_map<std::string, Variable, FoldedHash, FoldedEqual>;

 public:
  // Shared access for the life of the view.
  class ReadView {
   public:
    const Variable* Find(std::string_view name) const {
      const auto it = map_->find(name);
      return it == map_->end() ? nullptr : &it->second;
    }
    std::size_t Size() const noexcept { return map_->size(); }
    // f(const Variable&) for every variable, in no particular order.
    template <class F>
    void ForEach(F&& f) const {
      for (const auto& entry : *map_) f(entry.second);
    }
    // Row 1 .. kFormulaRows of the formula database, as stored.
    const FormulaRow& Row(int row) const { return (*rows_)[static_cast<std::size_t>(row - 1)]; }
    // Changes whenever a variable is added or removed, in any pool of the
    // process, and never takes a value twice: while it stays the same, a
    // Variable* found earlier still names the same variable.
    std::uint64_t Generation() const noexcept { return *generation_; }

   private:
    friend class Pool;
    ReadView(std::shared_mutex& m, const Pool& pool)
        : lock_(m), map_(&pool.map_), rows_(&pool.rows_), generation_(&pool.generation_) {}
    std::shared_lock<std::shared_mutex> lock_;
    const Map* map_;
    const std::vector<FormulaRow>* rows_;
    const std::uint64_t* generation_;
  };

  // Exclusive access for the life of the view.
  class WriteView {
   public:
    Variable* Find(std::string_view name) {
      const auto it = map_->find(name);
      return it == map_->end() ? nullptr : &it->second;
    }
    std::size_t Size() const noexcept { return map_->size(); }
    // Adds `v` unless its name (in any case) is taken; the stored variable,
    // or nullptr when the name was taken and nothing changed.
    Variable* Insert(Variable v);
    bool Erase(std::string_view name) {
      const auto it = map_->find(name);
      if (it == map_->end()) return false;
      *generation_ = NextGeneration();
      map_->erase(it);
      return true;
    }
    // Removes every variable for which pred(const Variable&) holds.
    template <class Pred>
    std::size_t EraseIf(Pred&& pred) {
      *generation_ = NextGeneration();
      return std::erase_if(*map_, [&](const auto& entry) { return pred(entry.second); });
    }
    template <class F>
    void ForEach(F&& f) {
      for (auto& entry : *map_) f(entry.second);
    }
    FormulaRow& Row(int row) { return (*rows_)[static_cast<std::size_t>(row - 1)]; }

   private:
    friend class Pool;
    WriteView(std::shared_mutex& m, Pool& pool)
        : lock_(m), map_(&pool.map_), rows_(&pool.rows_), generation_(&pool.generation_) {}
    std::unique_lock<std::shared_mutex> lock_;
    Map* map_;
    std::vector<FormulaRow>* rows_;
    std::uint64_t* generation_;
  };

  Pool() : rows_(kFormulaRows), generation_(NextGeneration()) {}
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  ReadView Read() const { return ReadView(mutex_, *this); }
  WriteView Write() { return WriteView(mutex_, *this); }

  // Every variable, one line each, sorted by folded name: for diagnostics and
  // for tests that must show a request changed nothing.
  std::string Dump() const;

  // Enumeration: the sorted snapshot of the latest generation that a find
  // cursor still walks, so that cursors opened while the pool stays as it
  // is share one copy (enumeration.cpp).
  struct NameIndexCache {
    std::mutex mutex;
    std::uint64_t generation = 0;
    std::weak_ptr<const NameIndex> index;
  };
  NameIndexCache& IndexCache() const { return index_cache_; }

 private:
  static std::uint64_t NextGeneration() noexcept;

  mutable std::shared_mutex mutex_;
  Map map_;
  std::vector<FormulaRow> rows_;
  std::uint64_t generation_;
  mutable NameIndexCache index_cache_;
};

}  // namespace vard::server
