// The pool's name tree as 'vardctl tree' prints it: paths as indented
// headings, each variable under its path with its kind and a short value.
// Portable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vard::ctl {

struct TreeEntry {
  std::string name;
  std::string path;  // '.'-separated levels; empty at the root
  std::string kind;
  std::string value;
};

// Whether `path` is `prefix` or continues it with whole levels, compared
// without case as the pool compares paths; the empty prefix holds every path.
bool PathWithin(std::string_view path, std::string_view prefix);

// Sorts by path, then name, the letters A-Z folded, as the pool lists them.
void SortTree(std::vector<TreeEntry>* entries);

// The indented text of sorted entries.
std::string TreeText(const std::vector<TreeEntry>& entries);

}  // namespace vard::ctl
