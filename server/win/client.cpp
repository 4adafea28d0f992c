#include "server/win/client.h"

#include <cstdio>
#include <new>

#include "include/vard32.h"
#include "include/vard_protocol.h"
#include "server/core/dispatch.h"
#include "server/core/session.h"
#include "server/win/host.h"

namespace vard::server {
namespace {

UINT g_requestMessage = 0;
constexpr UINT kClientDied = WM_APP + 1;

class ClientLink {
 public:
  explicit ClientLink(DWORD pid) : pid_(pid), session_(pid) {}
  ClientLink(const ClientLink&) = delete;
  ClientLink& operator=(const ClientLink&) = delete;

  // The thread body: serves the client until it detaches or dies.
  void Serve();

  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

 private:
  static VOID CALLBACK OnProcessEnded(PVOID self, BOOLEAN);
  LRESULT OnRequest(WPARAM code, LPARAM lParam);
  void Attach(HANDLE mapping);
  void Detach();
  void Leave();

  const DWORD pid_;
  Session session_;
  HWND window_ = nullptr;
  HANDLE mapping_ = nullptr;
  std::uint8_t* view_ = nullptr;
};

void ClientLink::Serve() {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid_);
  char title[16];
  std::snprintf(title, sizeof title, "%lu", pid_);
  if (process) {
    window_ = CreateWindowExA(0, proto::kServerClass, title, WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  HANDLE wait = nullptr;
  if (window_) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // A client that ends without detaching still ends its link here.
    if (RegisterWaitForSingleObject(&wait, process, &ClientLink::OnProcessEnded, this, INFINITE,
                                    WT_EXECUTEONLYONCE)) {
      MSG msg;
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
      UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);  // waits for a running callback
    }
    DestroyWindow(window_);
  }
  if (process) CloseHandle(process);
  Detach();
  session_.Release();
}

VOID CALLBACK ClientLink::OnProcessEnded(PVOID self, BOOLEAN) {
  PostMessageA(static_cast<ClientLink*>(self)->window_, kClientDied, 0, 0);
}

LRESULT CALLBACK ClientLink::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ClientLink*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self) {
    if (msg == g_requestMessage) return self->OnRequest(wParam, lParam);
    if (msg == kClientDied) {
      self->Leave();
      return 0;
    }
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT ClientLink::OnRequest(WPARAM code, LPARAM lParam) {
  switch (code) {
    case proto::kAttach:
      Attach(reinterpret_cast<HANDLE>(lParam));
      return 0;
    case proto::kDetach:
      Leave();
      return 0;
    case proto::kInit:
    case proto::kExit:
      // The library counts its registrations itself and always detaches (or
      // dies) at the end; nothing here depends on them.
      return 0;
    default:
      if (!view_) return vardNotInitialized;
      return Dispatch(host::ThePool(), session_, static_cast<std::uint32_t>(code), view_);
  }
}

void ClientLink::Attach(HANDLE mapping) {
  Detach();
  if (!mapping) return;
  auto* view = static_cast<std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  // A mapping smaller than a request block would let a request run past
  // the view; such a block is refused and the client's requests answer
  // vardNotInitialized.
  MEMORY_BASIC_INFORMATION info{};
  if (view && VirtualQuery(view, &info, sizeof info) == sizeof info &&
      info.RegionSize >= proto::kBlockSize) {
    view_ = view;
    mapping_ = mapping;
    return;
  }
  if (view) UnmapViewOfFile(view);
  CloseHandle(mapping);
}

void ClientLink::Detach() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  view_ = nullptr;
  mapping_ = nullptr;
}

// The client is going away (detach) or gone (its process ended). The window
// loses its title at once, so that a new connection of the same process
// cannot find this window while it is being torn down.
void ClientLink::Leave() {
  SetWindowTextA(window_, "");
  Detach();
  session_.Release();
  PostQuitMessage(0);
}

DWORD WINAPI ClientThread(LPVOID param) {
  auto* link = static_cast<ClientLink*>(param);
  link->Serve();
  delete link;
  host::ClientGone();
  return 0;
}

}  // namespace

bool RegisterClientClass(HINSTANCE instance) {
  g_requestMessage = RegisterWindowMessageA(proto::kMessageName);
  WNDCLASSA wc{};
  wc.lpfnWndProc = &ClientLink::WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = proto::kServerClass;
  return g_requestMessage != 0 && RegisterClassA(&wc) != 0;
}

bool StartClient(DWORD clientPid) {
  auto* link = new (std::nothrow) ClientLink(clientPid);
  if (!link) return false;
  HANDLE thread = CreateThread(nullptr, 0, &ClientThread, link, 0, nullptr);
  if (!thread) {
    delete link;
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace vard::server
