#include "tests/harness/fake_server.h"

#include <cstdio>

#include "include/vard_protocol.h"

namespace vard::test {

FakeServer::FakeServer(DWORD delayMs) {
  message_ = RegisterWindowMessageA(proto::kMessageName);
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this, delayMs] { Run(delayMs); });
}

FakeServer::~FakeServer() {
  WaitForWindow();
  PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
  thread_.join();
  CloseHandle(ready_);
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
}

bool FakeServer::WaitForWindow(DWORD timeoutMs) const {
  return WaitForSingleObject(ready_, timeoutMs) == WAIT_OBJECT_0;
}

void FakeServer::Run(DWORD delayMs) {
  thread_id_ = GetCurrentThreadId();
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // make the thread's queue
  if (delayMs) Sleep(delayMs);
  WNDCLASSA wc{};
  wc.lpfnWndProc = &FakeServer::WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = proto::kServerClass;
  RegisterClassA(&wc);  // fails harmlessly when an earlier fake registered it
  char title[16];
  std::snprintf(title, sizeof title, "%lu", GetCurrentProcessId());
  HWND window = CreateWindowExA(0, proto::kServerClass, title, WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, wc.hInstance, nullptr);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetEvent(ready_);
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  DestroyWindow(window);
}

LRESULT CALLBACK FakeServer::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<FakeServer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && msg == self->message_) return self->OnMessage(wParam, lParam);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT FakeServer::OnMessage(WPARAM code, LPARAM lParam) {
  if (code == proto::kAttach) {
    mapping_ = reinterpret_cast<HANDLE>(lParam);
    view_ = static_cast<std::uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
  }
  Received r{static_cast<std::uint32_t>(code), {}};
  if (view_) r.block.assign(view_, view_ + proto::kBlockSize);
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(std::move(r));
    handler = handler_;
  }
  if (code == proto::kDetach) {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
    view_ = nullptr;
    mapping_ = nullptr;
  }
  if (code <= proto::kExit || !handler || !view_) return 0;
  return handler(static_cast<std::uint32_t>(code), view_);
}

void FakeServer::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<Received> FakeServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<std::uint32_t> FakeServer::Codes() const {
  std::vector<std::uint32_t> codes;
  for (const auto& r : Requests()) codes.push_back(r.code);
  return codes;
}

void FakeServer::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
}

}  // namespace vard::test
