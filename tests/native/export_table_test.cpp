// The export list and its pinned ordinals; the list checked against the
// type library's entries.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "automation/typelib_table.h"
#include "link/export_table.h"

namespace {

namespace ex = vard::exports;
namespace tlb = vard::tlb;

std::vector<ex::Export> RealList() {
  std::ifstream in(VARD_EXPORT_LIST);
  std::stringstream s;
  s << in.rdbuf();
  auto list = ex::Parse(s.str());
  ex::PinOrdinals(list);
  return list;
}

TEST(ExportTable, PinsOrdinalsByRuleAndChecksEntries) {
  auto list = ex::Parse(
      "LIBRARY \"VARD32.dll\"\nEXPORTS\n  b@4 ; comment\n  a@8\n  aA@8 = a@8\n"
      "GetVard32Version@0\nVardSharedMemUnlock@4\nVardSharedMemLock@4\n"
      "VardSharedMemFree@4\nVardSharedMemAllocate@4\n  B@0\n");
  ex::PinOrdinals(list);
  std::map<std::string, int> ordinal;
  for (const auto& e : list) ordinal[e.name] = e.ordinal;
  EXPECT_EQ(ordinal, (std::map<std::string, int>{{"GetVard32Version", 2},
                                                 {"VardSharedMemAllocate", 3},
                                                 {"VardSharedMemFree", 4},
                                                 {"VardSharedMemLock", 5},
                                                 {"VardSharedMemUnlock", 6},
                                                 {"B", 7},  // byte-wise: upper case first
                                                 {"a", 8},
                                                 {"aA", 9},
                                                 {"b", 10}}));
  const std::string def32 = ex::Definition32(list);
  EXPECT_EQ(def32.substr(def32.find("  a@8")), "  a@8 @8\n  aA@8 = a@8 @9\n  b@4 @10\n");
  EXPECT_NE(def32.find("EXPORTS\n  GetVard32Version@0 @2\n"), std::string::npos);
  EXPECT_NE(ex::Definition64(list).find("  aA = a @9\n"), std::string::npos);
  for (const char* bad : {"x\n", "x@\n", "x@3\n", "x y@4\n", "a@4 = b@8\n"}) {
    EXPECT_THROW(ex::Parse(bad), std::invalid_argument) << bad;
  }
  auto twice = ex::Parse("GetVard32Version@0\nx@4\nx@4\n");
  EXPECT_THROW(ex::PinOrdinals(twice), std::invalid_argument);
  auto orphan = ex::Parse(
      "GetVard32Version@0\nVardSharedMemAllocate@4\nVardSharedMemFree@4\n"
      "VardSharedMemLock@4\nVardSharedMemUnlock@4\nxA@4 = x@4\n");
  EXPECT_THROW(ex::PinOrdinals(orphan), std::invalid_argument);
}

// The library's list: 233 names; every type-library function's entry is one
// of them, with the stack size its declared parameters take.
TEST(ExportTable, ListHoldsEveryEntryOfTheTypeLibrary) {
  const auto list = RealList();
  EXPECT_EQ(list.size(), 233u);
  std::map<std::string, const ex::Export*> by_name;
  for (const auto& e : list) by_name[e.name] = &e;
  for (const tlb::Function& f : tlb::table::kFunctions) {
    ASSERT_TRUE(by_name.count(f.entry)) << f.entry;
    EXPECT_EQ(by_name[f.entry]->stack, tlb::StackBytes32(f)) << f.entry;
  }
}

}  // namespace
