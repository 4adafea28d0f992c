// A client's DDE conversations, held through DDEML on a thread of their own.
//
// Each pool client that relays DDE gets one such thread (started with its
// first DDE request, ended with the client). The thread owns a DDEML client
// instance and the client's cached conversations, and pumps messages between
// requests, so a partner's end of a conversation is noticed. The client's own
// thread hands it one call at a time and waits, answering messages sent to
// its window meanwhile: a DDE partner that hangs holds up that client's DDE
// request and nothing else.
#pragma once

#include <memory>

#include "server/core/dde.h"

namespace vard::server {

class DdeClient final : public DdeRelay {
 public:
  DdeClient();
  // Asks the thread to close its conversations and end; does not wait.
  ~DdeClient() override;
  DdeClient(const DdeClient&) = delete;
  DdeClient& operator=(const DdeClient&) = delete;

  DdeOutcome Perform(const DdeCall& call) override;
  std::size_t CharacterSize(std::string_view text) const override;

  struct Shared;  // the hand-over between the client's thread and the DDE thread

 private:
  bool EnsureThread();

  std::shared_ptr<Shared> shared_;
  bool started_ = false;
};

}  // namespace vard::server
