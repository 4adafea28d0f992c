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
  message_id_ = RegisterWindowMessageA(proto::kMessageName);
  char title[32];
  std::snprintf(title, sizeof title, "VardServer %lu", GetCurrentProcessId());
  own_window_.reset(CreateWindowExA(0, "static", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                   nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
  if (!own_window_) return;
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
                      nullptr, nullptr, &startup, &server_process_.info)) {
    server_process_.Clear();
    return;
  }
  if (!WaitForServerWindow(title)) {
    // The server may still come up; it is left alone, and this connection
    // stays without a block until it is released.
    server_process_.Clear();
    server_window_ = nullptr;
    return;
  }
  HandBlockToServer();
  SendMessageA(server_window_, message_id_, proto::kAttach,
               reinterpret_cast<LPARAM>(server_block_handle_));
}

bool ServerConnection::WaitForServerWindow(const char* title) {
  const DWORD deadline = timeGetTime() + kStartDeadlineMs;
  while (!server_window_) {
    // Signed difference: stays right when the millisecond counter wraps.
    if (static_cast<LONG>(timeGetTime() - deadline) >= 0) return false;
    server_window_ = FindWindowA(proto::kServerClass, title);
    Sleep(kPollMs);
  }
  return true;
}

void ServerConnection::HandBlockToServer() {
  block_mapping_.reset(VardSharedMemAllocate(proto::kBlockSize));
  block_view_.reset(VardSharedMemLock(block_mapping_.get()));
  if (!block_view_) {
    // Without a view every request answers vardNotInitialized; a mapping
    // the server could attach to would be of no use.
    block_mapping_.reset();
    return;
  }
  DWORD ownPid = 0, serverPid = 0;
  GetWindowThreadProcessId(own_window_.get(), &ownPid);
  GetWindowThreadProcessId(server_window_, &serverPid);
  OwnedHandle own(OpenProcess(PROCESS_DUP_HANDLE, TRUE, ownPid));
  OwnedHandle server(OpenProcess(PROCESS_DUP_HANDLE, TRUE, serverPid));
  HANDLE duplicated = nullptr;
  if (own && server &&
      DuplicateHandle(own.get(), block_mapping_.get(), server.get(), &duplicated, 0, TRUE,
                      DUPLICATE_SAME_ACCESS)) {
    server_block_handle_ = duplicated;
  }
}

void ServerConnection::Register() {
  SendRequest(proto::kInit);
  ++init_count_;
}

void ServerConnection::Unregister() {
  SendRequest(proto::kExit);
  --init_count_;
  if (init_count_ <= 0) ReleaseConnection();
}

void ServerConnection::TearDown() {
  if (own_window_) {
    while (init_count_ > 0) {
      --init_count_;
      SendRequest(proto::kExit);
    }
    SendRequest(proto::kDetach);
    own_window_.reset();
  }
  block_view_.reset();
  block_mapping_.reset();
}

ServerConnection::~ServerConnection() = default;

}  // namespace vard::link
