// A stand-in for the data-pool server, inside the test process.
//
// A thread owns a window of the server's class titled with this process's id,
// so the library finds it instead of a real server (the test folder's
// vardthk.dll does nothing). Every message is recorded with a copy of the
// block as it stood when the request arrived; a handler scripts each reply.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vard::test {

struct Received {
  std::uint32_t code = 0;
  std::vector<std::uint8_t> block;  // the whole 64 KiB block (empty before attach)

  template <class R>
  const R& As() const {
    return *reinterpret_cast<const R*>(block.data());
  }
};

class FakeServer {
 public:
  // Called on the server's thread for every code from 5 up, with the mapped
  // block; its result is the message's answer. Default: answer 0.
  using Handler = std::function<LRESULT(std::uint32_t code, std::uint8_t* block)>;

  // The window appears `delayMs` after construction.
  explicit FakeServer(DWORD delayMs = 0);
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  void SetHandler(Handler handler);
  std::vector<Received> Requests() const;
  std::vector<std::uint32_t> Codes() const;
  void Clear();
  // Blocks until the window exists (or gives up after timeoutMs).
  bool WaitForWindow(DWORD timeoutMs = 15000) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  void Run(DWORD delayMs);
  LRESULT OnMessage(WPARAM code, LPARAM lParam);

  UINT message_ = 0;
  HANDLE ready_ = nullptr;
  DWORD thread_id_ = 0;
  std::uint8_t* view_ = nullptr;
  HANDLE mapping_ = nullptr;
  mutable std::mutex mutex_;
  Handler handler_;
  std::vector<Received> received_;
  std::thread thread_;
};

// A little-endian value at a byte offset of the block.
template <class T>
void Put(std::uint8_t* block, std::size_t offset, T value) {
  std::memcpy(block + offset, &value, sizeof value);
}
template <class T>
T Get(const std::uint8_t* block, std::size_t offset) {
  T value;
  std::memcpy(&value, block + offset, sizeof value);
  return value;
}

}  // namespace vard::test
