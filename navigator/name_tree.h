// The Variable Navigator's model of the pool: one entry per variable, kept
// sorted by path, and the names found at one level below a given path.
//
// Portable: the list control and the enumeration it is filled from are
// interfaces, served by list boxes and VARD32's own exports on Windows and
// by plain models in the native tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace vard::navigator {

inline constexpr int kMaxLevels = 10;

// The navigator's order: byte by byte, A-Z folded to a-z, other bytes by
// their unsigned value, a proper beginning of a text first. No locale.
int CompareNames(const char* a, const char* b) noexcept;

// One variable: its path split into levels, and its name.
class NameEntry {
 public:
  // Either may be null (absent). An absent or empty path has no levels.
  NameEntry(const char* path, const char* name);
  NameEntry(const NameEntry&) = delete;
  NameEntry& operator=(const NameEntry&) = delete;

  int LevelCount() const noexcept { return level_count_; }
  // Level k's text; null unless k is below the level count.
  const char* Level(int k) const noexcept;
  const char* Path() const noexcept { return has_path_ ? path_.c_str() : nullptr; }
  const char* Name() const noexcept { return has_name_ ? name_.c_str() : nullptr; }

 private:
  std::int16_t level_count_ = 0;
  bool has_path_;
  bool has_name_;
  std::string path_;
  std::string levels_;  // the path with each separating '.' turned into a NUL
  std::array<std::size_t, kMaxLevels> level_start_{};
  std::string name_;
};

// What FillLevelList needs of a list control (a sorted list box on Windows).
class LevelList {
 public:
  virtual ~LevelList() = default;
  virtual void Clear() = 0;
  // The index of the item whose text equals `text` without ASCII case, or -1.
  virtual int Find(const char* text) = 0;
  virtual int Add(const char* text) = 0;  // the new item's index
  virtual void SetData(int index, const NameEntry* entry) = 0;
};

// The enumeration exports (FindFirstVariable, FindNextVariable,
// FindVariableClose) as the list is filled from them.
class VariableSource {
 public:
  // Buffers the size of the enumeration's reply fields.
  static constexpr int kNameSize = 36;
  static constexpr int kPathSize = 258;

  virtual ~VariableSource() = default;
  virtual std::uint32_t First(std::uint16_t filter, char* name, char* path) = 0;
  virtual short Next(std::uint32_t handle, char* name, char* path) = 0;
  virtual void Close(std::uint32_t handle) = 0;
};

class NameList {
 public:
  static constexpr int kGrowth = 32;

  NameList() = default;
  NameList(const NameList&) = delete;
  NameList& operator=(const NameList&) = delete;

  // Inserts every variable the enumeration reports for `filter`.
  void Fill(VariableSource& source, std::uint16_t filter);

  // Inserts one entry at its place; an entry whose path equals one already
  // there (without case) is discarded, and the answer is false.
  bool Insert(std::unique_ptr<NameEntry> entry);

  int Count() const noexcept { return count_; }
  int Capacity() const noexcept { return capacity_; }
  const NameEntry& At(int i) const noexcept { return *entries_[i]; }

  // Fills `control` with the distinct level-k names of the entries below
  // `path` (k levels; null or empty: the first level). An item whose name
  // ends an entry's path carries that entry; a branch carries null.
  void FillLevelList(LevelList& control, const char* path) const;

 private:
  int count_ = 0;
  int capacity_ = 0;
  std::unique_ptr<std::unique_ptr<NameEntry>[]> entries_;
};

}  // namespace vard::navigator
