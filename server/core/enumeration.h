// Listing the pool: the order, the type filter and the path prefixes of the
// enumeration operations, and the sorted snapshot that a find cursor walks.
//
// Every listing is ordered by path, then by name, both compared without
// ASCII case, byte by byte as unsigned values, a text that is a proper
// beginning of another first: the order in which the Variable Navigator
// sorts its tree, so that it receives the variables already in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "include/vard_enums.h"
#include "server/core/pool.h"
#include "server/core/session.h"

namespace vard::server {

// Whether `filter` (vardNavigateType bits) selects a variable of `type`.
// A kind no bit names is selected only by vardNavigateAll.
bool FilterSelects(std::uint16_t filter, vardVarType type) noexcept;

// Names, paths and types of a set of variables, sorted by path, then name.
// The texts are copies in one buffer: the snapshot does not depend on the
// pool once it is built.
class NameIndex {
 public:
  struct Entry {
    std::string_view path;
    std::string_view name;
    vardVarType type;
  };

  // Every variable of the pool as it is now. Cursors opened while the pool
  // does not change share one snapshot.
  static std::shared_ptr<const NameIndex> Snapshot(const Pool& pool);

  // The variables for which select(const Variable&) holds. The pool's read
  // lock is held while they are copied, not while they are sorted.
  template <class Select>
  static NameIndex Collect(const Pool& pool, Select&& select) {
    NameIndex index;
    {
      const auto view = pool.Read();
      view.ForEach([&](const Variable& v) {
        if (select(v)) index.Add(v);
      });
    }
    index.Sort();
    return index;
  }

  std::size_t Size() const noexcept { return slots_.size(); }
  Entry At(std::size_t i) const noexcept;

 private:
  struct Slot {
    std::uint32_t offset;  // of the path in text_ and folded_; the name follows it
    std::uint16_t path_size;
    std::uint8_t name_size;
    std::uint8_t type;
  };
  void Add(const Variable& v);
  void Sort();

  std::string text_;    // path and name of every variable, back to back
  std::string folded_;  // the same, case-folded: what the order compares
  std::vector<Slot> slots_;
};

// A client's open enumeration (ResourceKind::FindCursor): a snapshot, the
// filter it was opened with, and the position in it.
class FindCursor final : public SessionResource {
 public:
  FindCursor(std::shared_ptr<const NameIndex> index, std::uint16_t filter)
      : index_(std::move(index)), filter_(filter) {}

  // Moves to the next variable the filter selects; false at the end.
  bool Next(NameIndex::Entry* entry) noexcept;

 private:
  std::shared_ptr<const NameIndex> index_;
  std::uint16_t filter_;
  std::size_t position_ = 0;
};

// Writes the names of `index` as a name list (each name and a NUL, an empty
// name at the end) into `out`, `capacity` bytes, and fills the rest of the
// capacity with NULs. When the list does not fit, it ends after the last
// whole name that leaves room for the final NUL, and the answer is false;
// a capacity of 0 receives nothing.
bool WriteNameList(const NameIndex& index, std::uint8_t* out, std::size_t capacity) noexcept;

}  // namespace vard::server
