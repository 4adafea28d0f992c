// One client of the pool host: its "zorVardServer" window, on a thread of its
// own, the request block it attached, its session, and a watch on its
// process so that a client that dies without detaching is cleaned up.
#pragma once

#include <windows.h>

namespace vard::server {

// Starts serving the client with this process id on a new thread. False
// when the thread could not be started.
bool StartClient(DWORD clientPid);

// Registers the server window class; once per process.
bool RegisterClientClass(HINSTANCE instance);

}  // namespace vard::server
