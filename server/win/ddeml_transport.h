// DDE conversations through DDEML, as a DDEML client instance of the thread
// that creates it. Everything here runs on that one thread.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <vector>

#include "server/core/dde_conversations.h"

namespace vard::server {

class DdemlTransport final : public DdeTransport {
 public:
  DdemlTransport();  // starts the instance; Ready() tells whether it did
  ~DdemlTransport() override;
  DdemlTransport(const DdemlTransport&) = delete;
  DdemlTransport& operator=(const DdemlTransport&) = delete;

  bool Ready() const { return instance_ != 0; }

  Connected Connect(std::string_view service, std::string_view topic) override;
  Answer Transact(Conversation conversation, const DdeCall& call) override;
  void Disconnect(Conversation conversation) override;
  std::vector<Conversation> TakeEnded() override;
  bool NeedsRestart() const override { return stale_; }
  void Restart() override;

 private:
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ, HSZ,
                                    HDDEDATA, ULONG_PTR, ULONG_PTR);
  void Start();
  void Stop();

  DWORD instance_ = 0;
  HCONV closing_ = nullptr;  // the conversation Disconnect is ending
  std::vector<Conversation> ended_;
  // DDEML may still hold a record of a conversation that ended without our
  // DdeDisconnect; Wine's then refuses a new one with the same service and
  // topic. A fresh instance has no such records.
  bool stale_ = false;
};

}  // namespace vard::server
