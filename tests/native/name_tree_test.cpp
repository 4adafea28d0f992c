// The navigator's name tree: splitting, order, insertion, and the level
// listings checked against a plain model on random path sets.
#include "navigator/name_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vard::navigator {
namespace {

using Strings = std::vector<std::string>;

Strings LevelsOf(const NameEntry& e) {
  Strings out;
  for (int k = 0; k < e.LevelCount(); ++k) out.push_back(e.Level(k));
  EXPECT_EQ(e.Level(e.LevelCount()), nullptr);
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Plainly: split at every '.', the tenth level keeps the rest, trailing
// empty levels dropped.
Strings ModelLevels(const std::string& path) {
  Strings parts(1);
  for (char c : path) c == '.' ? (void)parts.emplace_back() : parts.back().push_back(c);
  while (parts.size() > 10) {
    parts[9] += "." + parts[10];
    parts.erase(parts.begin() + 10);
  }
  while (!parts.empty() && parts.back().empty()) parts.pop_back();
  return parts;
}

TEST(NameTreeTest, PathsSplitIntoAtMostTenLevels) {
  const char* const paths[] = {
      "Run1.Force", "Run1.Force.", "", ".a", "a..b", "a..", "a.b.c.d.e.f.g.h.i.j.k.l"};
  const int counts[] = {2, 2, 0, 2, 3, 1, 10};
  for (std::size_t i = 0; i < std::size(paths); ++i) {
    const char* path = paths[i];
    const NameEntry e(path, "n");
    EXPECT_EQ(e.LevelCount(), counts[i]) << path;
    EXPECT_EQ(LevelsOf(e), ModelLevels(path)) << path;
    EXPECT_STREQ(e.Path(), path);
    EXPECT_STREQ(e.Name(), "n");
  }
  EXPECT_EQ(LevelsOf(NameEntry("a.b.c.d.e.f.g.h.i.j.k.l", nullptr)).back(), "j.k.l");
  const NameEntry absent(nullptr, nullptr);
  EXPECT_TRUE(absent.LevelCount() == 0 && !absent.Path() && !absent.Name());
}

TEST(NameTreeTest, OrderAndInsertion) {
  EXPECT_LT(CompareNames("A_B", "AB"), 0);  // '_' against 'b'
  EXPECT_LT(CompareNames("x.y", "x_y"), 0);
  EXPECT_EQ(CompareNames("ABC", "abc"), 0);
  EXPECT_LT(CompareNames("ab", "abc"), 0);
  EXPECT_GT(CompareNames("\xE4", "z"), 0);
  NameList list;
  EXPECT_TRUE(list.Insert(std::make_unique<NameEntry>("ABC", "first")));
  EXPECT_FALSE(list.Insert(std::make_unique<NameEntry>("abc", "second")));
  for (int i = 0; i < 31; ++i)
    ASSERT_TRUE(list.Insert(std::make_unique<NameEntry>(("p" + std::to_string(i)).c_str(), "")));
  EXPECT_EQ(list.Capacity(), 32);
  EXPECT_TRUE(list.Insert(std::make_unique<NameEntry>("AAA", "")));  // the 33rd
  EXPECT_EQ(list.Capacity(), 64);
  EXPECT_STREQ(list.At(0).Path(), "AAA");
  EXPECT_STREQ(list.At(1).Name(), "first");
}

// A sorted list control with a case-insensitive exact-text search.
struct ModelControl final : LevelList {
  std::vector<std::pair<std::string, const NameEntry*>> items;
  void Clear() override { items.clear(); }
  int Find(const char* text) override {
    for (std::size_t i = 0; i < items.size(); ++i)
      if (Lower(items[i].first) == Lower(text)) return static_cast<int>(i);
    return -1;
  }
  int Add(const char* text) override {
    auto at = std::find_if(items.begin(), items.end(),
                           [&](const auto& item) { return Lower(text) < Lower(item.first); });
    const auto added = items.insert(at, {text, nullptr});
    return static_cast<int>(added - items.begin());
  }
  void SetData(int index, const NameEntry* entry) override { items.at(index).second = entry; }
};

TEST(NameTreeTest, RandomPathSetsAgreeWithAPlainModel) {
  std::mt19937 rng(1234);
  const char* const tokens[] = {"a", "A", "b", "B", "_", "ab", "aB", "a b", "[", ""};
  for (int round = 0; round < 40; ++round) {
    std::vector<std::pair<std::string, std::string>> variables;
    NameList list;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 120); i < n; ++i) {
      std::string path;
      for (int l = 0, levels = static_cast<int>(rng() % 13); l < levels; ++l)
        path += (l ? "." : "") + std::string(tokens[rng() % std::size(tokens)]);
      variables.push_back({path, "n" + std::to_string(i)});
      list.Insert(std::make_unique<NameEntry>(path.c_str(), variables.back().second.c_str()));
    }

    // The first variable of each distinct path (without case), by lower-cased path.
    std::map<std::string, std::pair<std::string, std::string>> first;
    for (const auto& v : variables) first.emplace(Lower(v.first), v);
    ASSERT_EQ(list.Count(), static_cast<int>(first.size()));
    std::set<std::string> prefixes = {""};
    std::vector<Strings> levels_of;  // of each entry, as the model splits them
    for (const auto& [key, v] : first) {
      const int i = static_cast<int>(levels_of.size());
      EXPECT_EQ(std::pair(std::string(list.At(i).Path()), std::string(list.At(i).Name())), v);
      const Strings& levels = levels_of.emplace_back(ModelLevels(v.first));
      EXPECT_EQ(LevelsOf(list.At(i)), levels);
      std::string prefix;
      for (std::size_t l = 0; l < levels.size(); ++l)
        prefixes.insert(prefix += (l ? "." : "") + levels[l]);
    }

    // Every listing below every prefix of every path: text first seen, and
    // the entry whose path ends there.
    for (const std::string& prefix : prefixes) {
      const Strings below = ModelLevels(prefix);
      const std::size_t k = below.size();
      std::map<std::string, std::pair<std::string, const NameEntry*>> expected;
      for (int e = 0; e < list.Count(); ++e) {
        const Strings& levels = levels_of[e];
        if (levels.size() <= k ||
            !std::equal(below.begin(), below.end(), levels.begin(),
                        [](auto& a, auto& b) { return Lower(a) == Lower(b); }))
          continue;
        auto& item =
            expected.emplace(Lower(levels[k]), std::pair(levels[k], nullptr)).first->second;
        if (levels.size() == k + 1) item.second = &list.At(e);
      }
      ModelControl control;
      control.items.push_back({"stale", nullptr});
      list.FillLevelList(control, prefix.empty() && round % 2 ? nullptr : prefix.c_str());
      ASSERT_EQ(control.items.size(), expected.size()) << prefix;
      for (const auto& [text, entry] : control.items)
        EXPECT_EQ(std::pair(text, entry), expected.at(Lower(text))) << prefix;
    }
  }
}

}  // namespace
}  // namespace vard::navigator
