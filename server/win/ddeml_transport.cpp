#include "server/win/ddeml_transport.h"

#include <dde.h>  // WM_DDE_ACK and its lParam, not in the lean windows.h

#include <cstring>
#include <string>
#include <utility>

namespace vard::server {
namespace {

// The transport whose instance belongs to this thread; the DDEML callback
// carries no context of its own.
thread_local DdemlTransport* t_transport = nullptr;

HCONV AsHandle(DdeTransport::Conversation c) { return reinterpret_cast<HCONV>(c); }
DdeTransport::Conversation AsConversation(HCONV h) {
  return reinterpret_cast<DdeTransport::Conversation>(h);
}

class StringHandle {
 public:
  StringHandle(DWORD instance, std::string_view text)
      : instance_(instance),
        handle_(DdeCreateStringHandleA(instance, std::string(text).c_str(), CP_WINANSI)) {}
  ~StringHandle() {
    if (handle_) DdeFreeStringHandle(instance_, handle_);
  }
  StringHandle(const StringHandle&) = delete;
  StringHandle& operator=(const StringHandle&) = delete;
  HSZ get() const { return handle_; }

 private:
  DWORD instance_;
  HSZ handle_;
};

// Wine's DDEML servers follow the data that answers a request with a
// positive acknowledgement, which its DDEML client takes for the answer to
// the next transaction on the conversation. No acknowledgement is due while
// no transaction is pending, so any that waits for the conversation's window
// is dropped: before each transaction, and, after the data from such a
// server, once it has come (it follows at once).
constexpr char kWineServerClassA[] = "WineDdeServerConvA";
constexpr wchar_t kWineServerClassW[] = L"WineDdeServerConvW";
constexpr DWORD kTrailingAckWaitMs = 1000;

bool DropAcks(HWND window) {
  bool dropped = false;
  MSG msg;
  while (PeekMessageA(&msg, window, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
    UINT_PTR low = 0, high = 0;
    if (UnpackDDElParam(WM_DDE_ACK, msg.lParam, &low, &high)) {
      FreeDDElParam(WM_DDE_ACK, msg.lParam);
      GlobalDeleteAtom(static_cast<ATOM>(high));
    }
    dropped = true;
  }
  return dropped;
}

CONVINFO Info(HCONV conversation) {
  CONVINFO info{};
  info.cb = sizeof info;
  if (!DdeQueryConvInfo(conversation, QID_SYNC, &info)) info.hwnd = info.hwndPartner = nullptr;
  return info;
}

bool IsWineServer(HWND partner) {
  char name[64] = {};
  wchar_t wide[64] = {};
  return (GetClassNameA(partner, name, sizeof name) && std::strcmp(name, kWineServerClassA) == 0) ||
         (GetClassNameW(partner, wide, 64) && std::wcscmp(wide, kWineServerClassW) == 0);
}

void AwaitTrailingAck(HWND window) {
  const DWORD start = GetTickCount();
  while (!DropAcks(window)) {
    const DWORD waited = GetTickCount() - start;
    if (waited >= kTrailingAckWaitMs) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kTrailingAckWaitMs - waited, QS_POSTMESSAGE);
  }
}

// A request's answer: the text up to its NUL, or all the data if it has none.
std::string AnswerText(HDDEDATA data) {
  DWORD size = 0;
  const BYTE* bytes = DdeAccessData(data, &size);
  std::string text;
  if (bytes) {
    const void* nul = std::memchr(bytes, 0, size);
    text.assign(reinterpret_cast<const char*>(bytes),
                nul ? static_cast<const BYTE*>(nul) - bytes : size);
    DdeUnaccessData(data);
  }
  return text;
}

DdeStatus FailureStatus(UINT error, DWORD flags) {
  if ((flags & DDE_FBUSY) || error == DMLERR_BUSY) return DdeStatus::Busy;
  switch (error) {
    case DMLERR_EXECACKTIMEOUT:
    case DMLERR_DATAACKTIMEOUT:
      return DdeStatus::TimedOut;
    case DMLERR_NOTPROCESSED:
      return DdeStatus::Rejected;
    case DMLERR_NO_ERROR:             // the conversation vanished while we waited
    case DMLERR_POSTMSG_FAILED:       // its partner's window is gone
    case DMLERR_NO_CONV_ESTABLISHED:
    case DMLERR_INVALIDPARAMETER:     // the handle no longer names a conversation
      return DdeStatus::Gone;
    default:
      return DdeStatus::Failed;
  }
}

}  // namespace

DdemlTransport::DdemlTransport() { Start(); }
DdemlTransport::~DdemlTransport() { Stop(); }

void DdemlTransport::Start() {
  t_transport = this;
  // No CBF_ flags: with any of them set, Wine's DDEML never reports a
  // partner's end of a conversation (XTYP_DISCONNECT).
  if (DdeInitializeA(&instance_, &DdemlTransport::Callback, APPCMD_CLIENTONLY, 0) !=
      DMLERR_NO_ERROR) {
    instance_ = 0;
  }
}

void DdemlTransport::Stop() {
  if (instance_) DdeUninitialize(instance_);
  instance_ = 0;
  ended_.clear();
}

void DdemlTransport::Restart() {
  Stop();
  Start();
  stale_ = false;
}

HDDEDATA CALLBACK DdemlTransport::Callback(UINT type, UINT, HCONV conversation, HSZ, HSZ, HDDEDATA,
                                           ULONG_PTR, ULONG_PTR) {
  DdemlTransport* self = t_transport;
  if (type == XTYP_DISCONNECT && self && conversation != self->closing_) {
    self->ended_.push_back(AsConversation(conversation));
    self->stale_ = true;
  }
  return nullptr;
}

DdeTransport::Connected DdemlTransport::Connect(std::string_view service, std::string_view topic) {
  if (!instance_) return {0, DdeStatus::Failed};
  const StringHandle s(instance_, service), t(instance_, topic);
  if (!s.get() || !t.get()) return {0, DdeStatus::Failed};
  DdeGetLastError(instance_);  // reading clears it
  const HCONV conversation = DdeConnect(instance_, s.get(), t.get(), nullptr);
  if (conversation) return {AsConversation(conversation), DdeStatus::Ok};
  const UINT error = DdeGetLastError(instance_);
  return {0, error == DMLERR_NO_CONV_ESTABLISHED ? DdeStatus::NoServer : DdeStatus::Failed};
}

DdeTransport::Answer DdemlTransport::Transact(Conversation c, const DdeCall& call) {
  const HCONV conversation = AsHandle(c);
  const CONVINFO info = Info(conversation);
  if (info.hwnd) DropAcks(info.hwnd);
  DdeGetLastError(instance_);
  DWORD flags = 0;
  HDDEDATA data = nullptr;
  if (call.verb == DdeVerb::Execute) {
    auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(call.text.c_str()));
    data = DdeClientTransaction(bytes, static_cast<DWORD>(call.text.size() + 1), conversation,
                                nullptr, CF_TEXT, XTYP_EXECUTE, call.timeout_ms, &flags);
  } else {
    const StringHandle item(instance_, call.text);
    if (!item.get()) return {DdeStatus::Failed, {}};
    data = DdeClientTransaction(nullptr, 0, conversation, item.get(), CF_TEXT, XTYP_REQUEST,
                                call.timeout_ms, &flags);
  }
  const UINT error = DdeGetLastError(instance_);
  if (!data) return {FailureStatus(error, flags), {}};
  Answer answer{DdeStatus::Ok, {}};
  if (call.verb == DdeVerb::Request) {
    answer.value = AnswerText(data);
    DdeFreeDataHandle(data);
    if (info.hwnd && IsWineServer(info.hwndPartner)) AwaitTrailingAck(info.hwnd);
  }
  return answer;
}

void DdemlTransport::Disconnect(Conversation c) {
  closing_ = AsHandle(c);
  if (!DdeDisconnect(closing_)) stale_ = true;
  closing_ = nullptr;
}

std::vector<DdeTransport::Conversation> DdemlTransport::TakeEnded() {
  return std::exchange(ended_, {});
}

}  // namespace vard::server
