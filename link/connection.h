// The per-process link to the data-pool server: the library's hidden window,
// the server process and window, the 64 KiB request block and the count of
// InitDataManager registrations.
#pragma once

#include <windows.h>

#include <cstdint>

#include "include/vard_enums.h"
#include "link/handles.h"

namespace vard::link {

class ServerConnection {
 public:
  ServerConnection() = default;
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;
  ~ServerConnection();

  // Sends one request; returns the server's full 32-bit answer. When the
  // server has gone (its process ended, so its window with it), the answer
  // is vardNotInitialized and the connection is lost: no later request is
  // sent until the connection is released and started anew.
  LRESULT SendRequest(WPARAM code) {
    if (lost_) return vardNotInitialized;
    SetLastError(ERROR_SUCCESS);
    const LRESULT answer = SendMessageA(server_window_, message_id_, code, 0);
    // A failed send answers 0 and says why; a server's own 0 (vardOK) leaves
    // the error alone, unless a window procedure this thread ran while it
    // waited set one, so the window itself is asked before giving up.
    if (answer == 0 && GetLastError() != ERROR_SUCCESS && !IsWindow(server_window_)) {
      lost_ = true;
      return vardNotInitialized;
    }
    return answer;
  }
  std::uint8_t* BlockView() const { return static_cast<std::uint8_t*>(block_view_.get()); }
  std::int16_t InitCount() const { return init_count_; }
  // Whether data requests can be sent: registered, a block, a live server.
  bool Ready() const { return init_count_ > 0 && block_view_ && !lost_; }
  bool ServerLost() const { return lost_; }

  // Waits until the server has finished every request sent before, so the
  // block is ours again: after a thread died inside a request (api_lock.cpp).
  void Fence();

  void Register();    // behind InitDataManager
  void Unregister();  // behind ExitDataManager; may release the connection

 private:
  friend ServerConnection* GetConnection();
  friend void ReleaseConnection();
  void Start();
  void StartServer();
  bool WaitForServerWindow(const char* title);
  void HandBlockToServer();
  void TearDown();

  UINT message_id_ = 0;
  HANDLE server_block_handle_ = nullptr;  // valid in the server's process only
  HWND server_window_ = nullptr;
  OwnedWindow own_window_;
  ProcessRecord server_process_;
  OwnedMapping block_mapping_;
  MappedView block_view_;
  std::int16_t init_count_ = 0;
  bool lost_ = false;
};

// The process's connection, created (and the server started) on first use.
// Null only when memory for it could not be had. Call with the API lock held.
ServerConnection* GetConnection();

// Tears the connection down and forgets it; the next use starts anew.
void ReleaseConnection();

// The process's connection if there is one; never starts one.
ServerConnection* CurrentConnection();

// The module handle of VARD32.dll, recorded by the entry point.
HMODULE LibraryModule();

}  // namespace vard::link
