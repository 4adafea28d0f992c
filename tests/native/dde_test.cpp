// The DDE relay's portable parts: decoding a request and writing its answer,
// the time-out rule, and the conversation cache over a scripted transport.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "include/vard_protocol.h"
#include "server/core/dde_conversations.h"
#include "server/core/dispatch.h"
#include "server/core/pool.h"
#include "server/core/session.h"

namespace vard::server {
namespace {

// Answers as scripted; bytes from 0x81 on lead two-byte characters.
struct FakeRelay : DdeRelay {
  DdeOutcome Perform(const DdeCall& call) override {
    calls.push_back(call);
    return answer;
  }
  std::size_t CharacterSize(std::string_view s) const override {
    return static_cast<unsigned char>(s[0]) >= 0x81 ? 2 : 1;
  }
  DdeOutcome answer{vardDdeNoError, ""};
  std::vector<DdeCall> calls;
};

// Sends a request whose fields are copied in without terminators beyond
// their texts; the answer (or what the field then holds) comes back.
std::string Relay(FakeRelay* relay, std::uint32_t& code, std::string app, std::string text,
                  std::uint32_t opcode = proto::kDdeRequest, std::string topic = "Topic") {
  static Pool pool;
  Session session;
  std::vector<std::uint8_t> block(proto::kBlockSize, 0xAA);
  auto& r = *reinterpret_cast<proto::DdeRequest*>(block.data());
  std::memset(&r, 0, sizeof r);
  r.RecordSize = sizeof r;
  r.TimeOut = -1;
  std::memcpy(r.App, app.data(), app.size());
  std::memcpy(r.Topic, topic.data(), topic.size());
  char* field = reinterpret_cast<char*>(block.data()) + proto::kDdeTextOffset;
  std::memcpy(field, text.c_str(), std::min<std::size_t>(text.size() + 1, proto::kDdeTextMax));
  code = Dispatch(pool, session, opcode, block.data(), relay);
  return std::string(field, strnlen(field, proto::kDdeTextMax));
}

TEST(DdeOps, RequestsAreCheckedAndAnswersWrittenOnSuccessOnly) {
  FakeRelay relay;
  std::uint32_t code = 0;
  const std::string long_item(256, 'i'), long_app(30, 'a');
  for (const auto& [app, item] : {std::pair<std::string, std::string>{"", "Item"},
                                  {long_app, "Item"},
                                  {"App", ""},
                                  {"App", long_item}}) {
    Relay(&relay, code, app, item);
    EXPECT_EQ(code, 1002u) << app << "|" << item;
  }
  Relay(&relay, code, "App", "Item", proto::kDdeRequest, "");
  EXPECT_EQ(code, 1002u);
  EXPECT_TRUE(relay.calls.empty());
  EXPECT_EQ(Relay(nullptr, code, "App", "Item"), "Item");
  EXPECT_EQ(code, 0xFFFFu);  // this server holds no conversations

  Relay(&relay, code, "App", std::string(70000, 'x'), proto::kDdeCommand);
  EXPECT_EQ(relay.calls.at(0).text, std::string(proto::kDdeTextMax - 1, 'x'));
  EXPECT_EQ(relay.calls.at(0).verb, DdeVerb::Execute);
  EXPECT_EQ(relay.calls.at(0).timeout_ms, 65535u);  // -1: the longest a caller can ask for
  EXPECT_EQ(DdeTimeoutMs(0), 5000u);
  EXPECT_EQ(DdeTimeoutMs(-32768), 32768u);

  // Two single-byte characters, then two-byte ones: the 65023rd byte would
  // be the first half of one, so the answer keeps 65022 bytes.
  relay.answer.value = "ab";
  while (relay.answer.value.size() < 70000) relay.answer.value += "\x82\xA0";
  EXPECT_EQ(Relay(&relay, code, "App", "Item"), relay.answer.value.substr(0, 65022));
  relay.answer.code = vardDdeUnknownRequest;
  EXPECT_EQ(Relay(&relay, code, "App", "Item"), "Item");
  EXPECT_EQ(code, 4u);
}

// Answers as scripted; conversations are numbered from 1.
struct FakeTransport : DdeTransport {
  Connected Connect(std::string_view service, std::string_view) override {
    return service == "Nobody" ? Connected{0, DdeStatus::NoServer}
                               : Connected{++connects, DdeStatus::Ok};
  }
  Answer Transact(Conversation c, const DdeCall&) override {
    used.push_back(c);
    const DdeStatus s = script.empty() ? DdeStatus::Ok : script.front();
    if (!script.empty()) script.pop_front();
    return {s, "value"};
  }
  void Disconnect(Conversation c) override { closed.push_back(c); }
  std::vector<Conversation> TakeEnded() override { return {}; }
  bool NeedsRestart() const override { return false; }
  void Restart() override {}

  std::deque<DdeStatus> script;
  std::vector<Conversation> used, closed;
  Conversation connects = 0;
};
using Ids = std::vector<DdeTransport::Conversation>;

DdeCall Call(std::string topic, std::string service = "App") {
  return {DdeVerb::Request, std::move(service), std::move(topic), "Item", 1000};
}

TEST(DdeConversations, OnePerServiceAndTopicUntilIdleOrBeyondTheLimit) {
  FakeTransport t;
  DdeConversations conversations(t, 10000);
  EXPECT_EQ(conversations.Run(Call("Topic"), 0).value, "value");
  EXPECT_EQ(conversations.Run(Call("TOPIC", "app"), 4000).code, vardDdeNoError);
  EXPECT_EQ(t.connects, 1u);
  EXPECT_EQ(conversations.UntilNextExpiry(5000), 9000u);
  conversations.Tidy(13999);
  EXPECT_TRUE(t.closed.empty());
  conversations.Tidy(14000);
  EXPECT_EQ(t.closed, Ids{1});
  for (std::size_t i = 0; i <= DdeConversations::kMaxOpen; ++i) {
    conversations.Run(Call(std::to_string(i)), 20000 + i);
  }
  conversations.Tidy(20100);
  EXPECT_EQ(t.closed, (Ids{1, 2}));  // the least recently used of nine
}

TEST(DdeConversations, EachStatusGivesItsCodeAndKeepsOrClosesAfterTheAnswer) {
  const std::tuple<DdeStatus, std::int16_t, bool> cases[] = {
      {DdeStatus::Ok, 0, true},       {DdeStatus::Busy, 2, true},
      {DdeStatus::Rejected, 4, true}, {DdeStatus::TimedOut, 1, false},
      {DdeStatus::Failed, -1, false}, {DdeStatus::Gone, 3, false}};
  for (const auto& [status, code, kept] : cases) {
    FakeTransport t;
    DdeConversations conversations(t);
    t.script = {status};
    const DdeOutcome outcome = conversations.Run(Call("Topic"), 0);
    EXPECT_EQ(outcome.code, code);
    EXPECT_EQ(outcome.value, code == 0 ? "value" : "");
    EXPECT_TRUE(t.closed.empty());
    conversations.Tidy(0);
    EXPECT_EQ(conversations.OpenCount(), kept ? 1u : 0u);
  }
  FakeTransport t;
  EXPECT_EQ(DdeConversations(t).Run(Call("Topic", "Nobody"), 0).code, vardDdeNoConversation);
}

TEST(DdeConversations, WithoutCacheOrWithoutCallerNothingStays) {
  FakeTransport t;
  DdeConversations uncached(t, 0);
  EXPECT_EQ(uncached.Run(Call("Topic"), 0, [] { return false; }).code, vardDdeTimeout);
  EXPECT_TRUE(t.used.empty());  // the caller stopped waiting: nothing is sent
  uncached.Run(Call("Topic"), 0);
  uncached.Tidy(0);
  EXPECT_EQ(t.closed, (Ids{1, 2}));
}

}  // namespace
}  // namespace vard::server
