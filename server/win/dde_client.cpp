#include "server/win/dde_client.h"

#include <windows.h>

#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>

#include "server/core/dde_conversations.h"
#include "server/win/ddeml_transport.h"

namespace vard::server {
namespace {

// How long a call may wait, beyond its own time-out, for the DDE thread to
// take it up and connect (an earlier conversation may still be closing: a
// partner that has stopped answering holds DdeDisconnect for up to 10 s).
constexpr DWORD kStartAllowanceMs = 5000;

std::uint32_t IdleFromEnvironment() {
  // The benchmark switches the cache off with 0; programs never need to.
  char text[16];
  const DWORD n = GetEnvironmentVariableA("VARD_DDE_IDLE_MS", text, sizeof text);
  if (n == 0 || n >= sizeof text) return DdeConversations::kDefaultIdleMs;
  return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

std::uint64_t NowMs() { return GetTickCount64(); }

class Event {
 public:
  explicit Event(bool manual) : handle_(CreateEventA(nullptr, manual, FALSE, nullptr)) {}
  ~Event() {
    if (handle_) CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

enum class JobState { Queued, Started, Done, Abandoned };

struct Job {
  explicit Job(const DdeCall& c) : call(c) {}
  DdeCall call;
  DdeOutcome outcome;
  JobState state = JobState::Queued;  // guarded by Shared::mutex
  Event done{true};
};

}  // namespace

struct DdeClient::Shared {
  std::mutex mutex;
  std::deque<std::shared_ptr<Job>> queue;
  bool stopping = false;
  Event wake{false};
  const std::uint32_t idle_ms = IdleFromEnvironment();

  // The thread's side; returns when asked to stop.
  void Serve();
  void Finish(Job& job, DdeOutcome outcome);
};

namespace {

DWORD WINAPI DdeThread(LPVOID param) {
  auto* shared = static_cast<std::shared_ptr<DdeClient::Shared>*>(param);
  (*shared)->Serve();
  delete shared;
  return 0;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

}  // namespace

void DdeClient::Shared::Finish(Job& job, DdeOutcome outcome) {
  {
    std::lock_guard lock(mutex);
    if (job.state == JobState::Abandoned) return;
    job.outcome = std::move(outcome);
    job.state = JobState::Done;
  }
  SetEvent(job.done.get());
}

void DdeClient::Shared::Serve() {
  DdemlTransport transport;
  DdeConversations conversations(transport, idle_ms);
  for (;;) {
    const auto next = conversations.UntilNextExpiry(NowMs());
    const DWORD wait = next ? static_cast<DWORD>(std::min<std::uint64_t>(*next, INFINITE - 1))
                            : INFINITE;
    HANDLE handles[] = {wake.get()};
    MsgWaitForMultipleObjectsEx(1, handles, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    PumpMessages();  // a partner's end of a conversation arrives as a message
    conversations.Tidy(NowMs());
    for (;;) {
      std::shared_ptr<Job> job;
      bool stop = false;
      {
        std::lock_guard lock(mutex);
        stop = stopping;
        while (!queue.empty() && queue.front()->state == JobState::Abandoned) queue.pop_front();
        if (!stop && !queue.empty()) {
          job = std::move(queue.front());
          queue.pop_front();
        }
      }
      if (stop) {
        conversations.CloseAll();
        return;
      }
      if (!job) break;
      if (!transport.Ready()) {
        Finish(*job, {vardDdeUnknownError, {}});
        continue;
      }
      // Once the call is under way its own time-out bounds it; before that,
      // a caller that has stopped waiting means it must not happen at all.
      auto may_start = [&] {
        std::lock_guard lock(mutex);
        if (job->state == JobState::Abandoned) return false;
        job->state = JobState::Started;
        return true;
      };
      Finish(*job, conversations.Run(job->call, NowMs(), may_start));
      PumpMessages();
      conversations.Tidy(NowMs());
    }
  }
}

DdeClient::DdeClient() : shared_(std::make_shared<Shared>()) {}

DdeClient::~DdeClient() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  SetEvent(shared_->wake.get());
}

bool DdeClient::EnsureThread() {
  if (started_) return true;
  auto* param = new (std::nothrow) std::shared_ptr<Shared>(shared_);
  if (!param) return false;
  HANDLE thread = CreateThread(nullptr, 0, &DdeThread, param, 0, nullptr);
  if (!thread) {
    delete param;
    return false;
  }
  CloseHandle(thread);
  started_ = true;
  return true;
}

DdeOutcome DdeClient::Perform(const DdeCall& call) {
  if (!EnsureThread() || !shared_->wake.get()) return {vardDdeUnknownError, {}};
  auto job = std::make_shared<Job>(call);
  if (!job->done.get()) return {vardDdeUnknownError, {}};
  {
    std::lock_guard lock(shared_->mutex);
    shared_->queue.push_back(job);
  }
  SetEvent(shared_->wake.get());

  // Wait for the answer, delivering messages sent to this thread's windows
  // meanwhile (another program's DDE broadcast must not wait on us). A call
  // the DDE thread has not started within its time-out and the allowance is
  // given up; one under way is waited for, up to twice that.
  const std::uint64_t start = NowMs();
  const std::uint64_t give_up = start + call.timeout_ms + kStartAllowanceMs;
  const std::uint64_t last = give_up + call.timeout_ms + kStartAllowanceMs;
  HANDLE done = job->done.get();
  for (;;) {
    const std::uint64_t now = NowMs();
    const std::uint64_t until = now < give_up ? give_up : last;
    const DWORD wait = now < until ? static_cast<DWORD>(until - now) : 0;
    const DWORD r = MsgWaitForMultipleObjects(1, &done, FALSE, wait, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    std::lock_guard lock(shared_->mutex);
    if (job->state == JobState::Done) return std::move(job->outcome);
    if (job->state == JobState::Queued || NowMs() >= last) {
      job->state = JobState::Abandoned;
      return {vardDdeTimeout, {}};
    }
  }
}

std::size_t DdeClient::CharacterSize(std::string_view text) const {
  static const UINT code_page = GetACP();
  if (text.empty()) return 1;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (code_page == CP_UTF8) {
    const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return n <= text.size() ? n : 1;
  }
  return text.size() >= 2 && IsDBCSLeadByteEx(code_page, lead) ? 2 : 1;
}

}  // namespace vard::server
