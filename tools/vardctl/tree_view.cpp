#include "tools/vardctl/tree_view.h"

#include <algorithm>
#include <memory>

#include "navigator/name_tree.h"

namespace vard::ctl {

namespace {

using navigator::CompareNames;
using navigator::NameEntry;

bool SameLevel(const char* a, const char* b) { return CompareNames(a, b) == 0; }

// The width of each column over all entries.
struct Widths {
  std::size_t item = 0, name = 0, kind = 0;
};

std::string Padded(std::string text, std::size_t width) {
  text.resize(std::max(text.size(), width), ' ');
  return text;
}

}  // namespace

bool PathWithin(const std::string& path, const std::string& prefix) {
  const NameEntry p(path.c_str(), nullptr), within(prefix.c_str(), nullptr);
  if (p.LevelCount() < within.LevelCount()) return false;
  for (int k = 0; k < within.LevelCount(); ++k)
    if (!SameLevel(p.Level(k), within.Level(k))) return false;
  return true;
}

std::string TreeText(const std::vector<TreeEntry>& entries) {
  std::vector<std::unique_ptr<NameEntry>> split;
  Widths w;
  for (const TreeEntry& e : entries) {
    split.push_back(std::make_unique<NameEntry>(e.path.c_str(), nullptr));
    const int n = split.back()->LevelCount();
    const std::size_t item = n == 0 ? 1 : 2 * static_cast<std::size_t>(n - 1) + std::string(split.back()->Level(n - 1)).size();
    w.item = std::max(w.item, item);
    w.name = std::max(w.name, e.name.size());
    w.kind = std::max(w.kind, e.kind.size());
  }
  std::string text;
  const NameEntry* shown = nullptr;  // the levels printed last
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const NameEntry& levels = *split[i];
    const int n = levels.LevelCount();
    int same = 0;
    while (shown && same < n - 1 && same < shown->LevelCount() &&
           SameLevel(levels.Level(same), shown->Level(same)))
      ++same;
    for (int k = same; k < n - 1; ++k) text += std::string(2 * k, ' ') + levels.Level(k) + "\n";
    shown = &levels;
    // The variable's item: its path's last level ("-" without a path).
    const std::string item = n == 0 ? "-" : std::string(2 * (n - 1), ' ') + levels.Level(n - 1);
    const TreeEntry& e = entries[i];
    std::string line = Padded(item, w.item + 2) + Padded(e.name, w.name + 2) + e.kind;
    if (!e.value.empty()) line = Padded(line, w.item + w.name + w.kind + 6) + e.value;
    text += line + "\n";
  }
  return text;
}

}  // namespace vard::ctl
