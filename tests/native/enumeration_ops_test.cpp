// The enumeration operations as clients see them through Dispatch: order,
// filter, snapshots, handles, and the path listing's prefixes and capacity.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/core/enumeration.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using namespace proto;
using testing::Got;
using testing::PoolClient;
using Lines = std::vector<std::string>;

// A find request with a filter (FindFirst) or a handle; its code.
std::uint32_t Find(PoolClient& c, std::uint32_t opcode, std::uint32_t value) {
  auto& r = c.Begin<EnumerationRequest>(opcode);
  if (opcode == kFindFirstVariable)
    r.Filter = static_cast<std::uint16_t>(value);
  else
    r.FindHandle = value;
  return c.Send(opcode);
}

// The variable a find reply reports, as "path|name".
std::string Reported(PoolClient& c) {
  const auto& r = c.Record<EnumerationRequest>();
  return Got(r.Path) + "|" + Got(r.VarName);
}

// Each variable of a walk, then "end <code>"; at most `limit` variables
// (then no end). The handle is left open.
Lines Walk(PoolClient& c, std::uint16_t filter, std::uint32_t* handle = nullptr,
           std::size_t limit = 99) {
  Lines out;
  std::uint32_t rc = Find(c, kFindFirstVariable, filter);
  const std::uint32_t h = c.Record<EnumerationRequest>().FindHandle;
  if (handle) *handle = h;
  for (; rc == vardOK; rc = Find(c, kFindNextVariable, h)) {
    out.push_back(Reported(c));
    if (out.size() == limit) return out;
  }
  out.push_back("end " + std::to_string(rc));
  return out;
}

// GetVariablesInPath: the code, and the list as "name,name," up to its end.
std::string List(PoolClient& c, std::string_view prefix, std::uint16_t filter = vardNavigateAll,
                 std::uint16_t capacity = kPathListMaxCapacity) {
  auto& r = c.Begin<PathListRequest>(kGetVariablesInPath);
  testing::Put(r.PathPrefix, prefix), r.Filter = filter, r.Capacity = capacity;
  std::string out = std::to_string(c.Send(kGetVariablesInPath)) + ":";
  const char* p = reinterpret_cast<const char*>(&r) + kPathListOffset;
  for (; *p; p += std::strlen(p) + 1) out.append(p).append(",");
  return out;
}

class EnumerationTest : public ::testing::Test {
 protected:
  Pool pool;
  PoolClient client{pool};
  void SetUp() override {
    // Created out of order; paths and names in mixed case.
    ASSERT_EQ(client.CreateString("zeta", "z", "Plant.Line2"), vardOK);
    ASSERT_EQ(client.CreateNumber("Speed", 1, "", "", "plant.Line1"), vardOK);
    ASSERT_EQ(client.CreateNumber("accel", 2, "", "", "Plant.line1"), vardOK);
    ASSERT_EQ(client.CreateNumber("Root", 3), vardOK);
    ASSERT_EQ(client.CreateNumber("under", 4, "", "", "Plant_X"), vardOK);
    ASSERT_EQ(client.CreateString("LineTwoSpeed", "s", "Plant.Line2.Speed"), vardOK);
    ASSERT_EQ(client.CreateString("Curr", "c", "Plant.Line10"), vardOK);
  }
};

TEST_F(EnumerationTest, WalksByPathThenNameWithTheFilterAndEndsWithNoSuchData) {
  // A shorter path first, '.' before '_', and case never counts.
  EXPECT_EQ(
      Walk(client, vardNavigateAll),
      (Lines{"|Root", "Plant.line1|accel", "plant.Line1|Speed", "Plant.Line10|Curr",
             "Plant.Line2|zeta", "Plant.Line2.Speed|LineTwoSpeed", "Plant_X|under", "end 3"}));
  EXPECT_EQ(Walk(client, vardNavigateString), (Lines{"Plant.Line10|Curr", "Plant.Line2|zeta",
                                                     "Plant.Line2.Speed|LineTwoSpeed", "end 3"}));
  std::uint32_t h = 99;  // nothing selected opens nothing
  EXPECT_EQ(Walk(client, vardNavigateWaveform | vardNavigateDigiWaveform, &h), Lines{"end 3"});
  EXPECT_EQ(h, 0u);
  Walk(client, vardNavigateNumerical, &h);  // the end again, until closed
  for (std::uint32_t op : {kFindNextVariable, kFindVariableClose})
    EXPECT_EQ(Find(client, op, h), op == kFindNextVariable ? vardNoSuchData : vardOK);
  for (std::uint32_t op : {kFindNextVariable, kFindVariableClose})
    EXPECT_EQ(Find(client, op, h), vardInvalidHandle);
}

TEST_F(EnumerationTest, AWalkKeepsItsSnapshotAndGoesWithItsSession) {
  PoolClient other(pool);
  std::uint32_t h = 0;
  const Lines before = Walk(client, vardNavigateAll);
  ASSERT_EQ(Walk(client, vardNavigateAll, &h, 1), Lines{"|Root"});
  ASSERT_EQ(other.Variable(kDeleteVariable, "Curr"), vardOK);
  ASSERT_EQ(other.CreateNumber("Added", 5, "", "", "Plant.Line1"), vardOK);
  EXPECT_EQ(Walk(client, vardNavigateAll)[2], "Plant.Line1|Added");  // a new walk sees it
  Lines rest = {"|Root"};
  while (Find(client, kFindNextVariable, h) == vardOK) rest.push_back(Reported(client));
  rest.push_back("end 3");
  EXPECT_EQ(rest, before);
  // Handles are the session's own; releasing it (the client left or died)
  // frees the snapshot.
  for (std::uint32_t bad : {h, 0u, 0x10000u + h, 0xFFFFFFFFu})
    EXPECT_EQ(Find(other, kFindNextVariable, bad), vardInvalidHandle) << bad;
  client.session().Release();
  EXPECT_EQ(Find(client, kFindNextVariable, h), vardInvalidHandle);
  EXPECT_TRUE(pool.IndexCache().index.expired());
}

TEST_F(EnumerationTest, PathListsHoldWholeLevelsAndAreCutAfterAWholeName) {
  EXPECT_EQ(List(client, "PLANT.LINE1"), "0:accel,Speed,");
  EXPECT_EQ(List(client, "Plant", vardNavigateNumerical), "0:accel,Speed,");
  EXPECT_EQ(List(client, ""), "0:Root,accel,Speed,Curr,zeta,LineTwoSpeed,under,");
  EXPECT_EQ(List(client, "Plant.Line"), "0:");
  for (const char* bad : {"Plant.", ".Plant", "a..b", "tab\there"})
    EXPECT_EQ(List(client, bad), "8:") << bad;
  // "accel\0Speed\0\0" takes 13 bytes; the rest of the capacity is cleared,
  // the block behind it is not touched.
  auto* list = reinterpret_cast<std::uint8_t*>(&client.Record<PathListRequest>()) + kPathListOffset;
  std::memset(list, 0xAA, 64);
  EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, 40), "0:accel,Speed,");
  EXPECT_EQ(list[39] + list[40] * 256, 0xAA00);
  for (std::uint16_t capacity : {12, 7})
    EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, capacity), "11:accel,") << capacity;
  EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, 6), "11:");
  list[0] = 'x';  // a capacity of 0 receives nothing
  EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, 0).substr(0, 5), "11:x,");
}

}  // namespace
}  // namespace vard::server
