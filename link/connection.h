// The per-process link to the data-pool server: the library's hidden window,
// the server process and window, the 64 KiB request block and the count of
// InitDataManager registrations.
#pragma once

#include <windows.h>

#include <cstdint>

#include "link/handles.h"

namespace vard::link {

class ServerConnection {
 public:
  ServerConnection() = default;
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;
  ~ServerConnection();

  // Sends one request; returns the server's full 32-bit answer.
  LRESULT SendRequest(WPARAM code) const {
    return SendMessageA(server_window_, message_id_, code, 0);
  }
  std::uint8_t* BlockView() const { return static_cast<std::uint8_t*>(block_view_.get()); }
  std::int16_t InitCount() const { return init_count_; }

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
};

// The process's connection, created (and the server started) on first use.
// Null only when memory for it could not be had. Call with the API lock held.
ServerConnection* GetConnection();

// Tears the connection down and forgets it; the next use starts anew.
void ReleaseConnection();

// The module handle of VARD32.dll, recorded by the entry point.
HMODULE LibraryModule();

}  // namespace vard::link
