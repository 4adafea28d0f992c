// A client's handle table and registrations.
#include "server/core/session.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace vard::server {
namespace {

int g_released = 0;
struct Probe : SessionResource {
  ~Probe() override { ++g_released; }
};
std::uint16_t AddProbe(Session& s, ResourceKind kind) {
  return s.Add(kind, std::make_shared<Probe>());
}

// Handles are 1..32767, unique, of one kind and one session only.
TEST(SessionTest, HandlesAreNonzeroPositiveAndKindChecked) {
  g_released = 0;
  Session session, other;
  EXPECT_NE(session.Id(), other.Id());
  std::set<std::uint16_t> seen;
  for (int i = 0; i < 50; ++i) {
    const std::uint16_t h = AddProbe(session, ResourceKind::FindCursor);
    ASSERT_TRUE(h != 0 && h <= Session::kMaxHandleValue) << h;
    EXPECT_TRUE(seen.insert(h).second);
  }
  const std::uint16_t h = *seen.begin();
  EXPECT_NE(session.GetAs<Probe>(ResourceKind::FindCursor, h), nullptr);
  EXPECT_EQ(session.Get(ResourceKind::Collection, h), nullptr);
  EXPECT_FALSE(session.Close(ResourceKind::Collection, h));
  EXPECT_EQ(other.Get(ResourceKind::FindCursor, h), nullptr);
  EXPECT_FALSE(other.Close(ResourceKind::FindCursor, h));
  EXPECT_EQ(session.Get(ResourceKind::FindCursor, 0), nullptr);
  EXPECT_EQ(session.Add(ResourceKind::FindCursor, nullptr), 0);
  EXPECT_EQ(session.Count(ResourceKind::FindCursor), 50u);
  EXPECT_EQ(g_released, 0);

  EXPECT_TRUE(session.Close(ResourceKind::FindCursor, h));
  EXPECT_EQ(g_released, 1);
  EXPECT_FALSE(session.Close(ResourceKind::FindCursor, h));
  EXPECT_EQ(session.Get(ResourceKind::FindCursor, h), nullptr);
}

// A stale handle must not reach a resource opened after it was closed, not
// until the handle values have gone all the way round (skipping one in use).
TEST(SessionTest, ClosedHandlesAreNotReusedSoon) {
  Session session;
  const std::uint16_t keep = AddProbe(session, ResourceKind::WaveformLock);
  std::set<std::uint16_t> closed;
  for (int i = 0; i < 40000; ++i) {
    const std::uint16_t h = AddProbe(session, ResourceKind::WaveformLock);
    ASSERT_TRUE(h != 0 && h != keep) << h;
    EXPECT_TRUE(i >= 20000 || closed.insert(h).second)
        << "handle " << h << " came back after " << i;
    ASSERT_TRUE(session.Close(ResourceKind::WaveformLock, h));
  }
  EXPECT_NE(session.Get(ResourceKind::WaveformLock, keep), nullptr);
}

TEST(SessionTest, TableIsBoundedAndReleaseFreesEverything) {
  g_released = 0;
  const int max = static_cast<int>(Session::kMaxResources);
  auto session = std::make_unique<Session>(4711);
  EXPECT_EQ(session->ClientProcessId(), 4711u);
  for (int i = 0; i < max; ++i)
    ASSERT_NE(AddProbe(*session, i % 2 ? ResourceKind::Collection : ResourceKind::WaveformWriter),
              0);
  EXPECT_EQ(AddProbe(*session, ResourceKind::Collection), 0);
  EXPECT_EQ(g_released, 1);  // the refused one

  // A resource still in use by a request outlives the release, then goes.
  auto in_use = session->Get(ResourceKind::Collection, 2);
  ASSERT_NE(in_use, nullptr);
  session->Release();
  EXPECT_EQ(session->Count(), 0u);
  EXPECT_EQ(g_released, max);
  in_use.reset();
  EXPECT_EQ(g_released, max + 1);
  // Usable again after a release; the destructor releases too.
  ASSERT_NE(AddProbe(*session, ResourceKind::FindCursor), 0);
  session.reset();
  EXPECT_EQ(g_released, max + 2);
}

}  // namespace
}  // namespace vard::server
