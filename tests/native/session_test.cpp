// A client's handle table and registrations.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "server/core/session.h"

namespace vard::server {
namespace {

struct Probe : SessionResource {
  explicit Probe(int* released) : released(released) {}
  ~Probe() override { ++*released; }
  int* released;
};

TEST(SessionTest, HandlesAreNonzeroPositiveAndKindChecked) {
  Session session;
  int released = 0;
  std::set<std::uint16_t> seen;
  for (int i = 0; i < 50; ++i) {
    const std::uint16_t h = session.Add(ResourceKind::FindCursor, std::make_shared<Probe>(&released));
    ASSERT_NE(h, 0);
    ASSERT_LE(h, Session::kMaxHandleValue);
    EXPECT_TRUE(seen.insert(h).second);
  }
  const std::uint16_t h = *seen.begin();
  EXPECT_NE(session.GetAs<Probe>(ResourceKind::FindCursor, h), nullptr);
  EXPECT_EQ(session.Get(ResourceKind::Collection, h), nullptr);
  EXPECT_FALSE(session.Close(ResourceKind::Collection, h));
  EXPECT_EQ(session.Get(ResourceKind::FindCursor, 0), nullptr);
  EXPECT_EQ(session.Add(ResourceKind::FindCursor, nullptr), 0);
  EXPECT_EQ(session.Count(ResourceKind::FindCursor), 50u);
  EXPECT_EQ(released, 0);

  EXPECT_TRUE(session.Close(ResourceKind::FindCursor, h));
  EXPECT_EQ(released, 1);
  EXPECT_FALSE(session.Close(ResourceKind::FindCursor, h));
  EXPECT_EQ(session.Get(ResourceKind::FindCursor, h), nullptr);
}

// A stale handle must not reach a resource opened after it was closed, not
// until the handle values have gone all the way round.
TEST(SessionTest, ClosedHandlesAreNotReusedSoon) {
  Session session;
  int released = 0;
  const std::uint16_t keep = session.Add(ResourceKind::WaveformLock, std::make_shared<Probe>(&released));
  std::set<std::uint16_t> closed;
  for (int i = 0; i < 20000; ++i) {
    const std::uint16_t h = session.Add(ResourceKind::WaveformLock, std::make_shared<Probe>(&released));
    ASSERT_NE(h, 0);
    ASSERT_NE(h, keep);
    EXPECT_TRUE(closed.insert(h).second) << "handle " << h << " came back after " << i;
    ASSERT_TRUE(session.Close(ResourceKind::WaveformLock, h));
  }
  // Going round skips the one still in use.
  for (int i = 0; i < 20000; ++i) {
    const std::uint16_t h = session.Add(ResourceKind::WaveformLock, std::make_shared<Probe>(&released));
    ASSERT_NE(h, keep);
    ASSERT_TRUE(session.Close(ResourceKind::WaveformLock, h));
  }
  EXPECT_NE(session.Get(ResourceKind::WaveformLock, keep), nullptr);
}

TEST(SessionTest, TableIsBoundedAndReleaseFreesEverything) {
  int released = 0;
  auto session = std::make_unique<Session>(4711);
  EXPECT_EQ(session->ClientProcessId(), 4711u);
  for (std::size_t i = 0; i < Session::kMaxResources; ++i) {
    ASSERT_NE(session->Add(i % 2 ? ResourceKind::Collection : ResourceKind::WaveformWriter,
                           std::make_shared<Probe>(&released)),
              0);
  }
  EXPECT_EQ(session->Add(ResourceKind::Collection, std::make_shared<Probe>(&released)), 0);
  EXPECT_EQ(released, 1);  // the refused one

  // A resource still in use by a request outlives the release, then goes.
  auto in_use = session->Get(ResourceKind::Collection, 2);
  ASSERT_NE(in_use, nullptr);
  session->OnInit();
  session->Release();
  EXPECT_EQ(session->Count(), 0u);
  EXPECT_EQ(session->InitCount(), 0);
  EXPECT_EQ(released, static_cast<int>(Session::kMaxResources));
  in_use.reset();
  EXPECT_EQ(released, static_cast<int>(Session::kMaxResources) + 1);

  // Usable again after a release; the destructor releases too.
  ASSERT_NE(session->Add(ResourceKind::FindCursor, std::make_shared<Probe>(&released)), 0);
  session.reset();
  EXPECT_EQ(released, static_cast<int>(Session::kMaxResources) + 2);
}

TEST(SessionTest, HandlesBelongToTheirSession) {
  Session a, b;
  EXPECT_NE(a.Id(), b.Id());
  int released = 0;
  const std::uint16_t h = a.Add(ResourceKind::FindCursor, std::make_shared<Probe>(&released));
  EXPECT_EQ(b.Get(ResourceKind::FindCursor, h), nullptr);
  EXPECT_FALSE(b.Close(ResourceKind::FindCursor, h));
  EXPECT_NE(a.Get(ResourceKind::FindCursor, h), nullptr);
}

TEST(SessionTest, InitAndExitAreCounted) {
  Session session;
  EXPECT_FALSE(session.OnExit());
  session.OnInit();
  session.OnInit();
  EXPECT_EQ(session.InitCount(), 2);
  EXPECT_TRUE(session.OnExit());
  EXPECT_TRUE(session.OnExit());
  EXPECT_FALSE(session.OnExit());
  EXPECT_EQ(session.InitCount(), 0);
}

}  // namespace
}  // namespace vard::server
