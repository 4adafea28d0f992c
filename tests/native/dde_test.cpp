// The DDE relay's portable parts: decoding a request and writing its answer,
// the time-out rule, and the conversation cache over a scripted transport.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "include/vard_protocol.h"
#include "server/core/dde_conversations.h"
#include "server/core/dispatch.h"
#include "server/core/pool.h"
#include "server/core/session.h"

namespace vard::server {
namespace {

using proto::DdeRequest;

TEST(DdeTimeout, MillisecondsWithZeroAndNegativeDefined) {
  const std::pair<std::int32_t, std::uint32_t> cases[] = {
      {1, 1},          {32767, 32767},  {0, 5000},          {-1, 65535},
      {-32768, 32768}, {100000, 65535}, {-100000, 65535},
  };
  for (const auto& [sent, ms] : cases) EXPECT_EQ(DdeTimeoutMs(sent), ms) << sent;
}

// Answers as scripted; bytes from 0x81 lead two-byte characters.
class FakeRelay : public DdeRelay {
 public:
  DdeOutcome Perform(const DdeCall& call) override {
    calls.push_back(call);
    return answer;
  }
  std::size_t CharacterSize(std::string_view text) const override {
    return static_cast<unsigned char>(text[0]) >= 0x81 ? 2 : 1;
  }
  DdeOutcome answer{vardDdeNoError, "42"};
  std::vector<DdeCall> calls;
};

class DdeOps : public ::testing::Test {
 protected:
  DdeRequest& Begin(const char* app, const char* topic, std::int32_t timeout = 0) {
    auto& r = *reinterpret_cast<DdeRequest*>(block_.data());
    std::memset(block_.data(), 0, sizeof r);
    r.RecordSize = sizeof r;
    r.TimeOut = timeout;
    std::strncpy(r.App, app, sizeof r.App);
    std::strncpy(r.Topic, topic, sizeof r.Topic);
    return r;
  }
  char* Text() { return reinterpret_cast<char*>(block_.data()) + proto::kDdeTextOffset; }
  std::uint32_t Send(std::uint32_t opcode, DdeRelay* relay) {
    return Dispatch(pool_, session_, opcode, block_.data(), relay);
  }

  Pool pool_;
  Session session_;
  std::vector<std::uint8_t> block_ = std::vector<std::uint8_t>(proto::kBlockSize, 0xAA);
  FakeRelay relay_;
};

TEST_F(DdeOps, RequestIsForwardedAndItsAnswerWritten) {
  Begin("Excel", "Sheet1", -1);
  std::strcpy(Text(), "R1C1");
  EXPECT_EQ(Send(proto::kDdeRequest, &relay_), vardDdeNoError);
  ASSERT_EQ(relay_.calls.size(), 1u);
  const DdeCall& call = relay_.calls[0];
  EXPECT_EQ(call.verb, DdeVerb::Request);
  EXPECT_EQ(call.service, "Excel");
  EXPECT_EQ(call.topic, "Sheet1");
  EXPECT_EQ(call.text, "R1C1");
  EXPECT_EQ(call.timeout_ms, 65535u);
  EXPECT_STREQ(Text(), "42");
}

TEST_F(DdeOps, FailureLeavesTheFieldAndPassesTheCodeOn) {
  for (const std::int16_t code : {vardDdeTimeout, vardDdeUnknownRequest, vardDdeUnknownError}) {
    Begin("App", "Topic");
    std::strcpy(Text(), "Item");
    relay_.answer = {code, "not written"};
    EXPECT_EQ(static_cast<std::int16_t>(Send(proto::kDdeRequest, &relay_)), code);
    EXPECT_STREQ(Text(), "Item");
  }
}

TEST_F(DdeOps, CommandTextWithoutTerminatorIsCutAtTheFieldEnd) {
  Begin("App", "Topic");
  std::memset(Text(), 'x', proto::kDdeTextMax);
  EXPECT_EQ(Send(proto::kDdeCommand, &relay_), vardDdeNoError);
  EXPECT_EQ(relay_.calls.at(0).verb, DdeVerb::Execute);
  EXPECT_EQ(relay_.calls.at(0).text, std::string(proto::kDdeTextMax - 1, 'x'));
}

TEST_F(DdeOps, MalformedNamesAreRefusedUnsent) {
  const std::string item255(255, 'i'), item256(256, 'i'), app30(30, 'a');
  const struct {
    const char* app;
    const char* topic;
    std::string item;
    std::uint32_t expected;
  } cases[] = {
      {"", "Topic", "Item", 1002},       {app30.c_str(), "Topic", "Item", 1002},
      {"App", "", "Item", 1002},         {"App", "Topic", "", 1002},
      {"App", "Topic", item256, 1002},   {"App", "Topic", item255, vardDdeNoError},
  };
  for (const auto& c : cases) {
    relay_.calls.clear();
    Begin("", "");
    std::memcpy(reinterpret_cast<DdeRequest*>(block_.data())->App, c.app, std::strlen(c.app));
    std::strcpy(reinterpret_cast<DdeRequest*>(block_.data())->Topic, c.topic);
    std::strcpy(Text(), c.item.c_str());
    EXPECT_EQ(Send(proto::kDdeRequest, &relay_), c.expected) << c.app << "|" << c.topic;
    EXPECT_EQ(relay_.calls.size(), c.expected == vardDdeNoError ? 1u : 0u);
  }
  Begin("App", "Topic");
  std::strcpy(Text(), "Item");
  EXPECT_EQ(Send(proto::kDdeRequest, nullptr), 0xFFFFu);  // no relay in this server
}

TEST_F(DdeOps, LongAnswerIsCutBetweenCharacters) {
  // Two single-byte characters, then two-byte ones: the 65023rd byte would
  // be the first half of a character, so the answer keeps 65022 bytes.
  std::string value = "ab";
  while (value.size() < 70000) value += "\x82\xA0";
  relay_.answer = {vardDdeNoError, value};
  Begin("App", "Topic");
  std::strcpy(Text(), "Item");
  EXPECT_EQ(Send(proto::kDdeRequest, &relay_), vardDdeNoError);
  EXPECT_EQ(std::strlen(Text()), proto::kDdeTextMax - 2);
  EXPECT_EQ(0, std::memcmp(Text(), value.data(), proto::kDdeTextMax - 2));
}

// A transport that answers as scripted and records what it was asked.
class FakeTransport : public DdeTransport {
 public:
  Connected Connect(std::string_view service, std::string_view) override {
    ++connects;
    if (service == "Nobody") return {0, DdeStatus::NoServer};
    return {++last_id, DdeStatus::Ok};
  }
  Answer Transact(Conversation c, const DdeCall&) override {
    used.push_back(c);
    DdeStatus s = DdeStatus::Ok;
    if (!script.empty()) {
      s = script.front();
      script.pop_front();
    }
    return {s, "value"};
  }
  void Disconnect(Conversation c) override { closed.push_back(c); }
  std::vector<Conversation> TakeEnded() override { return std::exchange(ended, {}); }
  bool NeedsRestart() const override { return stale; }
  void Restart() override {
    ++restarts;
    stale = false;
  }

  std::deque<DdeStatus> script;
  std::vector<Conversation> used, closed, ended;
  Conversation last_id = 0;
  int connects = 0, restarts = 0;
  bool stale = false;
};

DdeCall Call(const char* topic, const char* service = "App") {
  DdeCall call;
  call.service = service;
  call.topic = topic;
  call.text = "Item";
  return call;
}

TEST(DdeConversations, OneConversationPerServiceAndTopicUntilIdle) {
  FakeTransport t;
  DdeConversations conversations(t, 10000);
  EXPECT_EQ(conversations.Run(Call("Topic"), 0).value, "value");
  EXPECT_EQ(conversations.Run(Call("TOPIC", "app"), 4000).code, vardDdeNoError);
  EXPECT_EQ(t.connects, 1);
  EXPECT_EQ(conversations.UntilNextExpiry(5000), 9000u);
  conversations.Tidy(13999);
  EXPECT_TRUE(t.closed.empty());
  conversations.Tidy(14000);
  EXPECT_EQ(t.closed, std::vector<DdeTransport::Conversation>{1});
  EXPECT_EQ(conversations.OpenCount(), 0u);
  EXPECT_FALSE(conversations.UntilNextExpiry(14000));
}

TEST(DdeConversations, WithoutCacheEachAnswerComesBeforeItsConversationCloses) {
  FakeTransport t;
  DdeConversations conversations(t, 0);
  for (int i = 0; i < 2; ++i) {
    conversations.Run(Call("Topic"), 0);
    EXPECT_EQ(t.closed.size(), static_cast<std::size_t>(i));
    conversations.Tidy(0);
  }
  EXPECT_EQ(t.connects, 2);
  EXPECT_EQ(t.closed.size(), 2u);
}

TEST(DdeConversations, LeastRecentlyUsedIsClosedBeyondTheLimit) {
  FakeTransport t;
  DdeConversations conversations(t);
  for (std::size_t i = 0; i <= DdeConversations::kMaxOpen; ++i) {
    conversations.Run(Call(std::to_string(i).c_str()), i);
  }
  conversations.Tidy(100);
  EXPECT_EQ(t.closed, std::vector<DdeTransport::Conversation>{1});
  EXPECT_EQ(conversations.OpenCount(), DdeConversations::kMaxOpen);
}

TEST(DdeConversations, EachStatusGivesItsCodeAndKeepsOrClosesTheConversation) {
  const struct {
    DdeStatus status;
    std::int16_t code;
    bool kept;
  } cases[] = {
      {DdeStatus::Ok, vardDdeNoError, true},        {DdeStatus::Busy, vardDdeBusy, true},
      {DdeStatus::Rejected, vardDdeUnknownRequest, true},
      {DdeStatus::TimedOut, vardDdeTimeout, false}, {DdeStatus::Failed, vardDdeUnknownError, false},
      {DdeStatus::Gone, vardDdeNoConversation, false},
  };
  for (const auto& c : cases) {
    FakeTransport t;
    DdeConversations conversations(t);
    t.script = {c.status};
    const DdeOutcome outcome = conversations.Run(Call("Topic"), 0);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.value, c.status == DdeStatus::Ok ? "value" : "");
    conversations.Tidy(0);
    EXPECT_EQ(conversations.OpenCount(), c.kept ? 1u : 0u);
    EXPECT_EQ(t.closed.size(), c.kept ? 0u : 1u);
  }
  FakeTransport t;
  DdeConversations conversations(t);
  EXPECT_EQ(conversations.Run(Call("Topic", "Nobody"), 0).code, vardDdeNoConversation);
}

TEST(DdeConversations, GoneCachedConversationIsReplacedOnce) {
  FakeTransport t;
  DdeConversations conversations(t);
  conversations.Run(Call("Topic"), 0);
  t.script = {DdeStatus::Gone, DdeStatus::Gone};
  EXPECT_EQ(conversations.Run(Call("Topic"), 1).code, vardDdeNoConversation);
  EXPECT_EQ(t.used, (std::vector<DdeTransport::Conversation>{1, 1, 2}));
  EXPECT_EQ(t.connects, 2);
}

TEST(DdeConversations, EndedByPartnerIsForgottenAndStaleTransportRestarted) {
  FakeTransport t;
  DdeConversations conversations(t);
  conversations.Run(Call("A"), 0);
  conversations.Run(Call("B"), 0);
  t.ended = {1};
  t.stale = true;
  conversations.Run(Call("A"), 1);  // conversation 2 is closed by the restart
  EXPECT_EQ(t.closed, std::vector<DdeTransport::Conversation>{2});
  EXPECT_EQ(t.restarts, 1);
  EXPECT_EQ(t.used.back(), 3u);
}

TEST(DdeConversations, CallerThatStoppedWaitingSendsNothing) {
  FakeTransport t;
  DdeConversations conversations(t);
  EXPECT_EQ(conversations.Run(Call("Topic"), 0, [] { return false; }).code, vardDdeTimeout);
  EXPECT_TRUE(t.used.empty());
  EXPECT_EQ(conversations.OpenCount(), 1u);
}

}  // namespace
}  // namespace vard::server
