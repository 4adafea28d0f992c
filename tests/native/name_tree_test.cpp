// The navigator's name tree: splitting, order, insertion, and the level
// listings checked against a plain model on random path sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "navigator/name_tree.h"

namespace vard::navigator {
namespace {

using Strings = std::vector<std::string>;

Strings LevelsOf(const NameEntry& e) {
  Strings out;
  for (int k = 0; k < e.LevelCount(); ++k) out.push_back(e.Level(k));
  EXPECT_EQ(e.Level(e.LevelCount()), nullptr);
  return out;
}

TEST(NameTreeTest, PathsSplitIntoAtMostTenLevels) {
  const std::pair<const char*, Strings> cases[] = {
      {"Run1.Force", {"Run1", "Force"}},
      {"Run1.Force.", {"Run1", "Force"}},
      {"", {}},
      {".a", {"", "a"}},
      {"a..b", {"a", "", "b"}},
      {"a..", {"a"}},
      {"a.b.c.d.e.f.g.h.i.j.k.l", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j.k.l"}},
  };
  for (const auto& [path, levels] : cases) {
    const NameEntry e(path, "n");
    EXPECT_EQ(LevelsOf(e), levels) << path;
    EXPECT_STREQ(e.Path(), path);
    EXPECT_STREQ(e.Name(), "n");
  }
  const NameEntry absent(nullptr, nullptr);
  EXPECT_EQ(absent.LevelCount(), 0);
  EXPECT_EQ(absent.Path(), nullptr);
  EXPECT_EQ(absent.Name(), nullptr);
}

TEST(NameTreeTest, TheOrderFoldsToLowerCaseAndComparesUnsignedBytes) {
  EXPECT_LT(CompareNames("A_B", "AB"), 0);  // '_' against 'b'
  EXPECT_LT(CompareNames("x.y", "x_y"), 0);
  EXPECT_EQ(CompareNames("ABC", "abc"), 0);
  EXPECT_LT(CompareNames("ab", "abc"), 0);
  EXPECT_GT(CompareNames("\xE4", "z"), 0);
  EXPECT_LT(CompareNames("[", "a"), 0);
}

TEST(NameTreeTest, InsertionGrowsBy32AndDiscardsEqualPaths) {
  NameList list;
  EXPECT_TRUE(list.Insert(std::make_unique<NameEntry>("ABC", "first")));
  EXPECT_FALSE(list.Insert(std::make_unique<NameEntry>("abc", "second")));
  EXPECT_EQ(list.Capacity(), 32);
  for (int i = 0; i < 31; ++i)
    ASSERT_TRUE(list.Insert(std::make_unique<NameEntry>(("p" + std::to_string(i)).c_str(), "")));
  EXPECT_EQ(list.Count(), 32);
  EXPECT_EQ(list.Capacity(), 32);
  EXPECT_TRUE(list.Insert(std::make_unique<NameEntry>("AAA", "")));
  EXPECT_EQ(list.Capacity(), 64);
  EXPECT_STREQ(list.At(0).Path(), "AAA");
  EXPECT_STREQ(list.At(1).Name(), "first");
}

// A sorted list control: case-insensitive order and exact-text search.
class ModelControl final : public LevelList {
 public:
  std::vector<std::pair<std::string, const NameEntry*>> items;

  void Clear() override { items.clear(); }
  int Find(const char* text) override {
    for (std::size_t i = 0; i < items.size(); ++i)
      if (Lower(items[i].first) == Lower(text)) return static_cast<int>(i);
    return -1;
  }
  int Add(const char* text) override {
    auto at = std::upper_bound(items.begin(), items.end(), Lower(text),
                               [](const std::string& t, const auto& item) { return t < Lower(item.first); });
    const auto added = items.insert(at, {text, nullptr});
    return static_cast<int>(added - items.begin());
  }
  void SetData(int index, const NameEntry* entry) override { items.at(index).second = entry; }

  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
};

// The enumeration as a list of (path, name), checked for its calling order.
class ModelSource final : public VariableSource {
 public:
  std::vector<std::pair<std::string, std::string>> variables;
  std::size_t next = 0;
  bool closed = false;

  std::uint32_t First(std::uint16_t filter, char* name, char* path) override {
    EXPECT_EQ(filter, 7);
    return Next(0, name, path) == 0 ? 42 : 0;
  }
  short Next(std::uint32_t, char* name, char* path) override {
    if (next == variables.size()) return 3;
    std::snprintf(path, kPathSize, "%s", variables[next].first.c_str());
    std::snprintf(name, kNameSize, "%s", variables[next].second.c_str());
    ++next;
    return 0;
  }
  void Close(std::uint32_t handle) override {
    EXPECT_EQ(handle, 42u);
    closed = true;
  }
};

// Plainly: split at every '.', the tenth level keeps the rest, trailing
// empty levels dropped.
Strings ModelLevels(const std::string& path) {
  Strings parts;
  std::size_t start = 0;
  for (std::size_t dot; (dot = path.find('.', start)) != std::string::npos; start = dot + 1)
    parts.push_back(path.substr(start, dot - start));
  parts.push_back(path.substr(start));
  if (parts.size() > 10) {
    for (std::size_t i = 10; i < parts.size(); ++i) parts[9] += "." + parts[i];
    parts.resize(10);
  }
  while (!parts.empty() && parts.back().empty()) parts.pop_back();
  return parts;
}

TEST(NameTreeTest, RandomPathSetsAgreeWithAPlainModel) {
  std::mt19937 rng(1234);
  const char* const tokens[] = {"a", "A", "b", "B", "_", "ab", "aB", "a b", "[", ""};
  for (int round = 0; round < 40; ++round) {
    ModelSource source;
    const int count = 1 + static_cast<int>(rng() % 120);
    for (int i = 0; i < count; ++i) {
      std::string path;
      for (int l = 0, n = static_cast<int>(rng() % 13); l < n; ++l)
        path += (l ? "." : "") + std::string(tokens[rng() % std::size(tokens)]);
      source.variables.push_back({path, "n" + std::to_string(i)});
    }
    NameList list;
    list.Fill(source, 7);
    EXPECT_TRUE(source.closed);

    // The list: the first variable of each case-insensitively distinct path,
    // sorted by the lower-cased path.
    std::map<std::string, std::pair<std::string, std::string>> first;
    for (const auto& v : source.variables) first.emplace(ModelControl::Lower(v.first), v);
    ASSERT_EQ(list.Count(), static_cast<int>(first.size()));
    int i = 0;
    for (const auto& [key, v] : first) {
      EXPECT_EQ(list.At(i).Path(), v.first);
      EXPECT_EQ(list.At(i).Name(), v.second);
      EXPECT_EQ(LevelsOf(list.At(i)), ModelLevels(v.first));
      ++i;
    }

    // Every listing below every prefix of every path.
    std::vector<std::string> prefixes = {""};
    for (const auto& [key, v] : first) {
      const Strings levels = ModelLevels(v.first);
      std::string prefix;
      for (std::size_t l = 0; l < levels.size(); ++l)
        prefixes.push_back(prefix += (l ? "." : "") + levels[l]);
    }
    for (const std::string& prefix : prefixes) {
      const Strings below = ModelLevels(prefix);
      const std::size_t k = below.size();
      std::map<std::string, std::pair<std::string, const NameEntry*>> expected;
      for (int e = 0; e < list.Count(); ++e) {
        const Strings levels = ModelLevels(list.At(e).Path());
        if (levels.size() <= k) continue;
        bool under = true;
        for (std::size_t l = 0; l < k; ++l)
          under = under && ModelControl::Lower(levels[l]) == ModelControl::Lower(below[l]);
        if (!under) continue;
        auto& item = expected.emplace(ModelControl::Lower(levels[k]), std::pair{levels[k], nullptr})
                         .first->second;
        if (levels.size() == k + 1) item.second = &list.At(e);
      }
      ModelControl control;
      control.items.push_back({"stale", nullptr});
      list.FillLevelList(control, prefix.empty() && round % 2 ? nullptr : prefix.c_str());
      ASSERT_EQ(control.items.size(), expected.size()) << prefix;
      for (const auto& [text, entry] : control.items) {
        const auto& want = expected.at(ModelControl::Lower(text));
        EXPECT_EQ(text, want.first) << prefix;
        EXPECT_EQ(entry, want.second) << prefix << " / " << text;
      }
    }
  }
}

}  // namespace
}  // namespace vard::navigator
