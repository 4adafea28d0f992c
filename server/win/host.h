// The pool host: the one server process that holds the pool for every client
// on the machine (in this session).
//
// The first vardthk.dll started becomes the host. A later instance, started
// by another client's library, finds the host's window and hands its client
// over, then exits. The host serves each client on a thread of its own, with
// that client's "zorVardServer" window, and ends a while after its last
// client has gone.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace vard::server {

class Pool;

namespace host {

// Session-local kernel object that orders hand-overs against host shut-down.
constexpr char kHostMutexName[] = "Local\\zorVardPoolHost";
// Window class of the host's own (hidden) window, which takes hand-overs.
constexpr char kHostClass[] = "zorVardPoolHost";
// Registered message a new instance sends the host: wParam = client process id.
constexpr char kAdoptMessage[] = "zorVardPoolAdopt";
// How long the host stays up after its last client has gone, so that a
// program started right after another finds the pool as it was left.
constexpr DWORD kDefaultLingerMs = 5000;

// Runs the server program: hands `clientPid` to a running host, or becomes
// the host and serves until it ends. Returns the process exit code.
int Run(DWORD clientPid);

// Called by client threads.
Pool& ThePool();
void ClientGone();

}  // namespace host
}  // namespace vard::server
