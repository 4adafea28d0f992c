// vardctl's tree: whole path levels without case, branches printed once
// however the paths are spelled, and every variable on a line of its own.
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

TEST(TreeTest, BranchesShowOnceAndEveryVariableHasItsLine) {
  // In the enumeration's order: no path first, a shared path twice, an item
  // that is a branch as well.
  const std::vector<TreeEntry> entries = {{"top", "", "string", "\"x\""},
                                          {"line1", "Plant.Line1", "number", "0"},
                                          {"Amp", "plant.line1.Amp", "number", "1 A"},
                                          {"amp2", "Plant.Line1.amp", "number", "2 A"},
                                          {"speed", "Plant.line1.Speed", "number", "3 rpm"},
                                          {"wave", "Plant.Line10.W", "waveform", ""}};
  EXPECT_EQ(TreeText(entries),
            "-          top    string    \"x\"\n"
            "Plant\n"
            "  Line1    line1  number    0\n"
            "    Amp    Amp    number    1 A\n"
            "    amp    amp2   number    2 A\n"
            "    Speed  speed  number    3 rpm\n"
            "  Line10\n"
            "    W      wave   waveform\n");
}

}  // namespace
}  // namespace vard::ctl
