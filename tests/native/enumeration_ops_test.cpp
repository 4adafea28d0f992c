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
using testing::Put;
using Lines = std::vector<std::string>;

// FindFirst/FindNext of one client: each variable as "path|name", then the
// code that ended the walk as "end <code>", unless it stopped after `limit`
// variables; the handle is left open.
Lines Walk(PoolClient& c, std::uint16_t filter, std::uint32_t* handle = nullptr,
           std::size_t limit = 1000) {
  Lines out;
  c.Begin<EnumerationRequest>(kFindFirstVariable).Filter = filter;
  std::uint32_t rc = c.Send(kFindFirstVariable);
  const std::uint32_t h = c.Record<EnumerationRequest>().FindHandle;
  if (handle) *handle = h;
  while (rc == vardOK) {
    const auto& r = c.Record<EnumerationRequest>();
    out.push_back(Got(r.Path) + "|" + Got(r.VarName));
    if (out.size() == limit) return out;
    c.Begin<EnumerationRequest>(kFindNextVariable).FindHandle = h;
    rc = c.Send(kFindNextVariable);
  }
  out.push_back("end " + std::to_string(rc));
  return out;
}

std::uint32_t Handle(PoolClient& c, std::uint32_t opcode, std::uint32_t handle) {
  c.Begin<EnumerationRequest>(opcode).FindHandle = handle;
  return c.Send(opcode);
}

// GetVariablesInPath: the code, and the list as "name,name," up to its end.
std::string List(PoolClient& c, std::string_view prefix, std::uint16_t filter = vardNavigateAll,
                 std::uint16_t capacity = kPathListMaxCapacity, std::uint32_t* rc = nullptr) {
  auto& r = c.Begin<PathListRequest>(kGetVariablesInPath);
  Put(r.PathPrefix, prefix), r.Filter = filter, r.Capacity = capacity;
  const std::uint32_t code = c.Send(kGetVariablesInPath);
  if (rc) *rc = code;
  std::string out = std::to_string(code) + ":";
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
  const Lines all = {"|Root",
                     "Plant.line1|accel",
                     "plant.Line1|Speed",
                     "Plant.Line10|Curr",
                     "Plant.Line2|zeta",
                     "Plant.Line2.Speed|LineTwoSpeed",
                     "Plant_X|under",
                     "end 3"};
  EXPECT_EQ(Walk(client, vardNavigateAll), all);
  EXPECT_EQ(Walk(client, vardNavigateString),
            (Lines{"Plant.Line10|Curr", "Plant.Line2|zeta", "Plant.Line2.Speed|LineTwoSpeed",
                   "end 3"}));
  // Nothing selected opens nothing: handle 0.
  std::uint32_t h = 99;
  EXPECT_EQ(Walk(client, vardNavigateWaveform | vardNavigateDigiWaveform, &h), Lines{"end 3"});
  EXPECT_EQ(h, 0u);
  // The end is reported again, until the handle is closed.
  Walk(client, vardNavigateNumerical, &h);
  EXPECT_EQ(Handle(client, kFindNextVariable, h), vardNoSuchData);
  EXPECT_EQ(Handle(client, kFindVariableClose, h), vardOK);
  EXPECT_EQ(Handle(client, kFindNextVariable, h), vardInvalidHandle);
  EXPECT_EQ(Handle(client, kFindVariableClose, h), vardInvalidHandle);
}

TEST_F(EnumerationTest, AWalkSeesThePoolAsItWasWhenItBegan) {
  PoolClient other(pool);
  std::uint32_t h1 = 0, h2 = 0;
  const Lines before = Walk(client, vardNavigateAll);
  ASSERT_EQ(Walk(client, vardNavigateAll, &h1, 1), Lines{"|Root"});
  ASSERT_EQ(other.Variable(kDeleteVariable, "Curr"), vardOK);
  ASSERT_EQ(other.CreateNumber("Added", 5, "", "", "Plant.Line1"), vardOK);
  // A cursor opened after the change sees it; the first one does not.
  EXPECT_EQ(Walk(client, vardNavigateAll, &h2)[2], "Plant.Line1|Added");
  Lines rest = {"|Root"};
  while (Handle(client, kFindNextVariable, h1) == vardOK) {
    const auto& r = client.Record<EnumerationRequest>();
    rest.push_back(Got(r.Path) + "|" + Got(r.VarName));
  }
  rest.push_back("end 3");
  EXPECT_EQ(rest, before);
}

TEST_F(EnumerationTest, FindHandlesAreTheClientsOwnAndGoWithItsSession) {
  PoolClient other(pool);
  std::uint32_t h = 0;
  Walk(client, vardNavigateAll, &h, 2);
  EXPECT_EQ(client.session().Count(ResourceKind::FindCursor), 1u);
  for (std::uint32_t bad : {h + 0, 0u, 0x8000u + h, 0x10000u + h, 0xFFFFFFFFu})
    EXPECT_EQ(Handle(other, kFindNextVariable, bad), vardInvalidHandle) << bad;
  // Releasing the session (the client detached or died) frees the snapshot.
  client.session().Release();
  EXPECT_EQ(Handle(client, kFindNextVariable, h), vardInvalidHandle);
  EXPECT_TRUE(pool.IndexCache().index.expired());
}

TEST_F(EnumerationTest, PathListsHoldWholeLevelsWithoutCase) {
  EXPECT_EQ(List(client, "PLANT.LINE1"), "0:accel,Speed,");
  EXPECT_EQ(List(client, "Plant.Line2"), "0:zeta,LineTwoSpeed,");
  EXPECT_EQ(List(client, "Plant", vardNavigateNumerical), "0:accel,Speed,");
  EXPECT_EQ(List(client, ""), "0:Root,accel,Speed,Curr,zeta,LineTwoSpeed,under,");
  EXPECT_EQ(List(client, "Plant.Line"), "0:");
  EXPECT_EQ(List(client, "Nowhere"), "0:");
  for (const char* bad : {"Plant.", ".Plant", "a..b", "tab\there"})
    EXPECT_EQ(List(client, bad), "8:") << bad;
  auto& r = client.Begin<PathListRequest>(kGetVariablesInPath);
  std::memset(r.PathPrefix, 'p', sizeof r.PathPrefix);  // no NUL: longer than any path
  EXPECT_EQ(client.Send(kGetVariablesInPath), vardInvalidName);
}

TEST_F(EnumerationTest, APathListLongerThanItsCapacityIsCutAfterAWholeName) {
  // "accel\0Speed\0\0" takes 13 bytes.
  std::uint32_t rc = 0;
  EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, 13), "0:accel,Speed,");
  for (std::uint16_t capacity : {12, 8, 7})
    EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, capacity), "11:accel,") << capacity;
  EXPECT_EQ(List(client, "Plant.Line1", vardNavigateAll, 6), "11:");
  // A capacity of 0 receives nothing; the block keeps what it held.
  auto* list = reinterpret_cast<std::uint8_t*>(&client.Record<PathListRequest>()) + kPathListOffset;
  list[0] = 'x';
  List(client, "Plant.Line1", vardNavigateAll, 0, &rc);
  EXPECT_EQ(rc, vardBufferToSmall);
  EXPECT_EQ(list[0], 'x');
  // The rest of the capacity is cleared; the block behind it is not touched.
  std::memset(list, 0xAA, 64);
  List(client, "Plant.Line1", vardNavigateAll, 40, &rc);
  EXPECT_EQ(rc, vardOK);
  EXPECT_EQ(list[39], 0);
  EXPECT_EQ(list[40], 0xAA);
}

}  // namespace
}  // namespace vard::server
