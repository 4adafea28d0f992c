// vardctl's tree: whole path levels without case, and headings printed once
// per level however the paths are spelled.
#include <gtest/gtest.h>

#include "tools/vardctl/tree_view.h"

namespace vard::ctl {
namespace {

TEST(TreeTest, PrefixesAreWholeLevelsWithoutCase) {
  const struct {
    const char* path;
    const char* prefix;
    bool within;
  } cases[] = {{"Bench.Motor", "Bench.Motor", true},   {"bench.motor.Left", "Bench.Motor", true},
               {"Bench.MotorCurrent", "Bench.Motor", false}, {"Bench", "Bench.Motor", false},
               {"", "", true},                            {"a.b", "", true},
               {"", "a", false}};
  for (const auto& c : cases) EXPECT_EQ(PathWithin(c.path, c.prefix), c.within) << c.path << " / " << c.prefix;
}

TEST(TreeTest, LevelsBecomeHeadingsOnce) {
  std::vector<TreeEntry> entries = {{"speed", "Plant.Line1", "number", "3 rpm"},
                                    {"top", "", "string", "\"x\""},
                                    {"Amp", "plant.line1", "number", "1 A"},
                                    {"wave", "Plant.Line10", "waveform", ""},
                                    {"z", "Plant", "number", "0"}};
  SortTree(&entries);
  EXPECT_EQ(TreeText(entries),
            "top    string    \"x\"\n"
            "Plant\n"
            "  z      number    0\n"
            "  line1\n"
            "    Amp    number    1 A\n"
            "    speed  number    3 rpm\n"
            "  Line10\n"
            "    wave   waveform\n");
}

}  // namespace
}  // namespace vard::ctl
