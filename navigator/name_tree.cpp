#include "navigator/name_tree.h"

#include <algorithm>
#include <new>
#include <utility>

namespace vard::navigator {
namespace {

constexpr unsigned char Fold(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

constexpr short kOk = 0;  // vardOK

}  // namespace

int CompareNames(const char* a, const char* b) noexcept {
  for (;; ++a, ++b) {
    const unsigned char x = Fold(*a), y = Fold(*b);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

NameEntry::NameEntry(const char* path, const char* name)
    : has_path_(path != nullptr), has_name_(name != nullptr) {
  if (has_name_) name_ = name;
  if (!has_path_) return;
  path_ = path;
  levels_ = path_;
  level_count_ = 1;
  for (std::size_t i = 0; i < levels_.size() && level_count_ < kMaxLevels; ++i) {
    if (levels_[i] == '.') {
      levels_[i] = '\0';
      level_start_[level_count_++] = i + 1;
    }
  }
  // Trailing empty levels do not count: "a.b." has the levels a and b.
  while (level_count_ > 0 && Level(level_count_ - 1)[0] == '\0') --level_count_;
}

const char* NameEntry::Level(int k) const noexcept {
  return k >= 0 && k < level_count_ ? levels_.c_str() + level_start_[k] : nullptr;
}

void NameList::Fill(VariableSource& source, std::uint16_t filter) {
  char name[VariableSource::kNameSize];
  char path[VariableSource::kPathSize];
  const std::uint32_t handle = source.First(filter, name, path);
  if (handle == 0) return;
  try {
    do {
      Insert(std::make_unique<NameEntry>(path, name));
    } while (source.Next(handle, name, path) == kOk);
  } catch (const std::bad_alloc&) {
    // The list keeps what it holds: the navigator shows what fitted.
  }
  source.Close(handle);
}

bool NameList::Insert(std::unique_ptr<NameEntry> entry) {
  const char* const key = entry->Path() ? entry->Path() : "";
  auto compare = [&](int i) {
    const char* p = entries_[i]->Path();
    return CompareNames(p ? p : "", key);
  };
  // Binary search; the list is usually filled in order, so it ends at the
  // back and nothing moves.
  const int n = count_;
  int lo = 0, hi = n;
  if (n > 1) {
    do {
      const int mid = (lo + hi) / 2;
      const int c = compare(mid);
      if (c == 0) return false;
      (c < 0 ? lo : hi) = mid;
    } while (hi - lo > 1);
  }
  int position = 0;
  if (n >= 1) {
    const int c = compare(lo);
    if (c == 0) return false;
    position = c > 0 ? lo : hi;
  }
  if (n % kGrowth == 0) {
    // The array grows by kGrowth entries at a time; allocate before moving
    // anything, so that a failure leaves the list as it was.
    auto bigger = std::make_unique<std::unique_ptr<NameEntry>[]>(n + kGrowth);
    std::move(entries_.get(), entries_.get() + position, bigger.get());
    std::move(entries_.get() + position, entries_.get() + n, bigger.get() + position + 1);
    entries_ = std::move(bigger);
    capacity_ = n + kGrowth;
  } else {
    std::move_backward(entries_.get() + position, entries_.get() + n, entries_.get() + n + 1);
  }
  entries_[position] = std::move(entry);
  count_ = n + 1;
  return true;
}

void NameList::FillLevelList(LevelList& control, const char* path) const {
  const NameEntry below(path, nullptr);
  const int k = below.LevelCount();
  control.Clear();
  for (int i = 0; i < count_; ++i) {
    const NameEntry& e = *entries_[i];
    if (e.LevelCount() <= k) continue;
    bool under = true;
    for (int level = 0; level < k && under; ++level)
      under = CompareNames(e.Level(level), below.Level(level)) == 0;
    if (!under) continue;
    const char* text = e.Level(k);
    int index = control.Find(text);
    if (index < 0) {
      index = control.Add(text);
      if (index < 0) continue;  // the control is full
      control.SetData(index, nullptr);
    }
    if (e.LevelCount() == k + 1) control.SetData(index, &e);
  }
}

}  // namespace vard::navigator
