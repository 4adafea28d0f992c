#include "link/connection.h"

#include <mmsystem.h>

#include <cstdio>
#include <new>

#include "include/vard_protocol.h"

namespace vard::link {
namespace {

ServerConnection* g_connection = nullptr;

constexpr DWORD kStartDeadlineMs = 10000;
constexpr DWORD kPollMs = 100;

}  // namespace

ServerConnection* GetConnection() {
  if (!g_connection) {
    auto* c = new (std::nothrow) ServerConnection();
    if (!c) return nullptr;
    g_connection = c;
    c->Start();
  }
  return g_connection;
}

void ReleaseConnection() {
  ServerConnection* c = g_connection;
  if (!c) return;
  c->TearDown();
  delete c;
  g_connection = nullptr;
}

void ServerConnection::Start() {
  messageId_ = RegisterWindowMessageA(proto::kMessageName);
  char title[32];
  std::snprintf(title, sizeof title, "VardServer %lu", GetCurrentProcessId());
  ownWindow_.reset(CreateWindowExA(0, "static", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
  if (!ownWindow_) return;
  StartServer();
}

void ServerConnection::StartServer() {
  char path[MAX_PATH];
  DWORD found = SearchPathA(nullptr, proto::kServerProgram, nullptr, MAX_PATH, path, nullptr);
  if (found == 0 || found >= MAX_PATH) return;

  char commandLine[MAX_PATH + 16];
  std::snprintf(commandLine, sizeof commandLine, "%s %lu", path, GetCurrentProcessId());
  char title[16];
  std::snprintf(title, sizeof title, "%lu", GetCurrentProcessId());

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                      nullptr, nullptr, &startup, &serverProcess_.info)) {
    serverProcess_.Clear();
    return;
  }
  if (!WaitForServerWindow(title)) {
    // The server may still come up; it is left alone, and this connection
    // stays without a block until it is released.
    serverProcess_.Clear();
    serverWindow_ = nullptr;
    return;
  }
  HandBlockToServer();
  SendMessageA(serverWindow_, messageId_, proto::kAttach,
               reinterpret_cast<LPARAM>(serverBlockHandle_));
}

bool ServerConnection::WaitForServerWindow(const char* title) {
  const DWORD deadline = timeGetTime() + kStartDeadlineMs;
  while (!serverWindow_) {
    // Signed difference: stays right when the millisecond counter wraps.
    if (static_cast<LONG>(timeGetTime() - deadline) >= 0) return false;
    serverWindow_ = FindWindowA(proto::kServerClass, title);
    Sleep(kPollMs);
  }
  return true;
}

void ServerConnection::HandBlockToServer() {
  blockMapping_.reset(VardSharedMemAllocate(proto::kBlockSize));
  blockView_.reset(VardSharedMemLock(blockMapping_.get()));
  if (!blockView_) {
    // Without a view every request answers vardNotInitialized; a mapping
    // the server could attach to would be of no use.
    blockMapping_.reset();
    return;
  }
  DWORD ownPid = 0, serverPid = 0;
  GetWindowThreadProcessId(ownWindow_.get(), &ownPid);
  GetWindowThreadProcessId(serverWindow_, &serverPid);
  OwnedHandle own(OpenProcess(PROCESS_DUP_HANDLE, TRUE, ownPid));
  OwnedHandle server(OpenProcess(PROCESS_DUP_HANDLE, TRUE, serverPid));
  HANDLE duplicated = nullptr;
  if (own && server &&
      DuplicateHandle(own.get(), blockMapping_.get(), server.get(), &duplicated, 0, TRUE,
                      DUPLICATE_SAME_ACCESS)) {
    serverBlockHandle_ = duplicated;
  }
}

void ServerConnection::Register() {
  SendRequest(proto::kInit);
  ++initCount_;
}

void ServerConnection::Unregister() {
  SendRequest(proto::kExit);
  --initCount_;
  if (initCount_ <= 0) ReleaseConnection();
}

void ServerConnection::TearDown() {
  if (ownWindow_) {
    while (initCount_ > 0) {
      --initCount_;
      SendRequest(proto::kExit);
    }
    SendRequest(proto::kDetach);
    ownWindow_.reset();
  }
  blockView_.reset();
  blockMapping_.reset();
}

ServerConnection::~ServerConnection() = default;

}  // namespace vard::link
