// One client's DDE conversations: which are kept open for the next request,
// when they are closed, and which outcome gives which vardDdeError code.
//
// The DDE mechanics sit behind DdeTransport (DDEML in server/win); this part
// is portable so that its rules are tested natively. Not thread-safe: a
// client's conversations live on that client's DDE thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/core/dde.h"

namespace vard::server {

// What one step of a conversation came to.
enum class DdeStatus : std::uint8_t {
  Ok,        // done; a request's answer comes with it
  TimedOut,  // no answer within the time-out
  Busy,      // the partner answered busy
  Rejected,  // the partner refused the command or the item
  NoServer,  // no server answered for the service and topic
  Gone,      // the conversation has ended: its partner closed it or is no longer there
  Failed,    // anything else (out of memory, a failing platform call)
};

// The code a client gets: Ok 0, TimedOut 1, Busy 2, NoServer and Gone 3,
// Rejected 4, Failed -1.
std::int16_t DdeCode(DdeStatus status);

class DdeTransport {
 public:
  using Conversation = std::uintptr_t;  // 0 is none
  struct Connected {
    Conversation conversation = 0;
    DdeStatus status = DdeStatus::Failed;  // when there is none: NoServer or Failed
  };
  struct Answer {
    DdeStatus status = DdeStatus::Failed;
    std::string value;  // a request's answer when Ok
  };

  virtual ~DdeTransport() = default;
  virtual Connected Connect(std::string_view service, std::string_view topic) = 0;
  virtual Answer Transact(Conversation conversation, const DdeCall& call) = 0;
  // Ends a conversation this side holds. May block until the partner answers.
  virtual void Disconnect(Conversation conversation) = 0;
  // The conversations whose partners ended them since the last call.
  virtual std::vector<Conversation> TakeEnded() = 0;
  // Whether the transport has to start afresh, dropping every conversation,
  // before it can be relied on to connect again.
  virtual bool NeedsRestart() const = 0;
  virtual void Restart() = 0;
};

class DdeConversations {
 public:
  // A conversation unused for this long is closed. 0: none is kept; each
  // request opens and closes its own.
  static constexpr std::uint32_t kDefaultIdleMs = 10000;
  // At most this many are kept open per client; beyond it, the one used
  // least recently is closed.
  static constexpr std::size_t kMaxOpen = 8;

  DdeConversations(DdeTransport& transport, std::uint32_t idle_ms = kDefaultIdleMs)
      : transport_(transport), idle_ms_(idle_ms) {}
  DdeConversations(const DdeConversations&) = delete;
  DdeConversations& operator=(const DdeConversations&) = delete;

  // Performs `call` on the cached conversation for its service and topic, or
  // on a new one. A cached conversation found gone is replaced once. When
  // `may_start` answers false after connecting, nothing is sent and the
  // answer is a time-out (the caller stopped waiting). Conversations to be
  // closed (after a time-out, or beyond the cache) are closed by the next
  // Tidy, so that the answer does not wait for a partner that has stopped
  // answering.
  DdeOutcome Run(const DdeCall& call, std::uint64_t now_ms,
                 const std::function<bool()>& may_start = [] { return true; });

  // Closes those due to be closed and those idle too long; forgets those
  // their partners ended.
  void Tidy(std::uint64_t now_ms);
  // Milliseconds until Tidy has one to close; nothing when none is open.
  std::optional<std::uint64_t> UntilNextExpiry(std::uint64_t now_ms) const;
  void CloseAll();
  std::size_t OpenCount() const { return entries_.size(); }

 private:
  struct Entry {
    std::string service, topic;
    DdeTransport::Conversation conversation;
    std::uint64_t last_used;
  };
  DdeTransport::Conversation TakeCached(std::string_view service, std::string_view topic);
  void Keep(const DdeCall& call, DdeTransport::Conversation conversation, std::uint64_t now_ms);

  DdeTransport& transport_;
  const std::uint32_t idle_ms_;
  std::vector<Entry> entries_;  // most recently used last
  std::vector<DdeTransport::Conversation> closing_;
};

}  // namespace vard::server
