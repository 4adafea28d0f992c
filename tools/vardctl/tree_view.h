// The pool's name tree as 'vardctl tree' prints it. A variable shows where
// the Variable Navigator shows it: its path's levels lead to it and the last
// level is its item, so the navigator's name tree (navigator/name_tree.h)
// splits the paths and orders them. Unlike the navigator, the tree leaves
// nothing out: variables without a path come first, and variables that share
// a path each get a line. Portable.
#pragma once

#include <string>
#include <vector>

namespace vard::ctl {

struct TreeEntry {
  std::string name;
  std::string path;  // '.'-separated levels; empty for none
  std::string kind;
  std::string value;
};

// Whether `path` is `prefix` or continues it with whole levels, compared as
// the navigator compares names; the empty prefix holds every path.
bool PathWithin(const std::string& path, const std::string& prefix);

// The indented text of entries in the enumeration's order (by path, then
// name, the navigator's order): branches as headings, one line per
// variable with its item, name, kind and value.
std::string TreeText(const std::vector<TreeEntry>& entries);

}  // namespace vard::ctl
