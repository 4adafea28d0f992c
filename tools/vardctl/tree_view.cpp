#include "tools/vardctl/tree_view.h"

#include <algorithm>

namespace vard::ctl {

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Fold(x) == Fold(y); });
}

bool Before(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Fold(x)) < static_cast<unsigned char>(Fold(y));
  });
}

std::vector<std::string_view> Levels(std::string_view path) {
  std::vector<std::string_view> levels;
  while (!path.empty()) {
    const std::size_t dot = path.find('.');
    levels.push_back(path.substr(0, dot));
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  return levels;
}

}  // namespace

bool PathWithin(std::string_view path, std::string_view prefix) {
  if (prefix.empty()) return true;
  if (path.size() < prefix.size() || !SameText(path.substr(0, prefix.size()), prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '.';
}

void SortTree(std::vector<TreeEntry>* entries) {
  std::stable_sort(entries->begin(), entries->end(), [](const TreeEntry& a, const TreeEntry& b) {
    if (!SameText(a.path, b.path)) return Before(a.path, b.path);
    return Before(a.name, b.name);
  });
}

std::string TreeText(const std::vector<TreeEntry>& entries) {
  std::size_t name_width = 0, kind_width = 0;
  for (const TreeEntry& e : entries) {
    name_width = std::max(name_width, e.name.size());
    kind_width = std::max(kind_width, e.kind.size());
  }
  std::string text;
  std::vector<std::string_view> shown;  // the levels of the headings above
  for (const TreeEntry& e : entries) {
    const std::vector<std::string_view> levels = Levels(e.path);
    std::size_t same = 0;
    while (same < levels.size() && same < shown.size() && SameText(levels[same], shown[same])) ++same;
    for (std::size_t l = same; l < levels.size(); ++l)
      text += std::string(2 * l, ' ') + std::string(levels[l]) + "\n";
    shown = levels;
    std::string line = std::string(2 * levels.size(), ' ') + e.name;
    line.resize(2 * levels.size() + name_width + 2, ' ');
    line += e.kind;
    if (!e.value.empty()) {
      line.resize(2 * levels.size() + name_width + 2 + kind_width + 2, ' ');
      line += e.value;
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace vard::ctl
