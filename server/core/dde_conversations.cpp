#include "server/core/dde_conversations.h"

#include <algorithm>
#include <utility>

#include "server/core/names.h"

namespace vard::server {
namespace {

// After these the conversation is known to be in order and stays open. A
// time-out closes it: the partner may still answer, and a late answer must
// not be taken for the next request's.
bool KeepsConversation(DdeStatus status) {
  return status == DdeStatus::Ok || status == DdeStatus::Busy || status == DdeStatus::Rejected;
}

}  // namespace

std::int16_t DdeCode(DdeStatus status) {
  switch (status) {
    case DdeStatus::Ok: return vardDdeNoError;
    case DdeStatus::TimedOut: return vardDdeTimeout;
    case DdeStatus::Busy: return vardDdeBusy;
    case DdeStatus::NoServer:
    case DdeStatus::Gone: return vardDdeNoConversation;
    case DdeStatus::Rejected: return vardDdeUnknownRequest;
    case DdeStatus::Failed: break;
  }
  return vardDdeUnknownError;
}

DdeTransport::Conversation DdeConversations::TakeCached(std::string_view service,
                                                        std::string_view topic) {
  // DDE names are atoms, which compare without case.
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return EqualsFolded(e.service, service) && EqualsFolded(e.topic, topic);
  });
  if (it == entries_.end()) return 0;
  const DdeTransport::Conversation conversation = it->conversation;
  entries_.erase(it);
  return conversation;
}

void DdeConversations::Keep(const DdeCall& call, DdeTransport::Conversation conversation,
                            std::uint64_t now_ms) {
  if (idle_ms_ == 0) {
    closing_.push_back(conversation);
    return;
  }
  entries_.push_back({call.service, call.topic, conversation, now_ms});
  if (entries_.size() > kMaxOpen) {
    closing_.push_back(entries_.front().conversation);
    entries_.erase(entries_.begin());
  }
}

DdeOutcome DdeConversations::Run(const DdeCall& call, std::uint64_t now_ms,
                                 const std::function<bool()>& may_start) {
  Tidy(now_ms);
  DdeTransport::Conversation conversation = TakeCached(call.service, call.topic);
  bool cached = conversation != 0;
  for (;;) {
    if (conversation == 0) {
      if (transport_.NeedsRestart()) {
        CloseAll();
        transport_.Restart();
      }
      const auto connected = transport_.Connect(call.service, call.topic);
      if (connected.conversation == 0) return {DdeCode(connected.status), {}};
      conversation = connected.conversation;
    }
    if (!may_start()) {
      Keep(call, conversation, now_ms);
      return {vardDdeTimeout, {}};
    }
    auto answer = transport_.Transact(conversation, call);
    if (answer.status == DdeStatus::Gone && cached) {
      // Its partner went away since the last request: try a new one once.
      // (Closed at once: a transport may refuse a second conversation with
      // the same service and topic while it holds the first.)
      transport_.Disconnect(conversation);
      conversation = 0;
      cached = false;
      continue;
    }
    if (KeepsConversation(answer.status)) {
      Keep(call, conversation, now_ms);
    } else {
      closing_.push_back(conversation);
    }
    if (answer.status != DdeStatus::Ok) answer.value.clear();
    return {DdeCode(answer.status), std::move(answer.value)};
  }
}

void DdeConversations::Tidy(std::uint64_t now_ms) {
  for (const auto conversation : std::exchange(closing_, {})) transport_.Disconnect(conversation);
  for (const auto ended : transport_.TakeEnded()) {
    std::erase_if(entries_, [&](const Entry& e) { return e.conversation == ended; });
  }
  std::vector<DdeTransport::Conversation> idle;
  std::erase_if(entries_, [&](const Entry& e) {
    if (now_ms - e.last_used < idle_ms_) return false;
    idle.push_back(e.conversation);
    return true;
  });
  for (const auto conversation : idle) transport_.Disconnect(conversation);
}

std::optional<std::uint64_t> DdeConversations::UntilNextExpiry(std::uint64_t now_ms) const {
  std::optional<std::uint64_t> next;
  if (!closing_.empty()) next = 0;
  for (const Entry& e : entries_) {
    const std::uint64_t due = e.last_used + idle_ms_;
    const std::uint64_t wait = due > now_ms ? due - now_ms : 0;
    if (!next || wait < *next) next = wait;
  }
  return next;
}

void DdeConversations::CloseAll() {
  for (const Entry& e : std::exchange(entries_, {})) closing_.push_back(e.conversation);
  for (const auto conversation : std::exchange(closing_, {})) transport_.Disconnect(conversation);
}

}  // namespace vard::server
