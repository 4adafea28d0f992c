// The process-wide API lock: it orders every framed call of the process and
// waits without limit for an owner that is alive.
//
// Taking and leaving it stays in user mode when nobody else wants it, as with
// a critical section: one interlocked compare-exchange to take it, a store
// and a load to leave it (a kernel mutex would cost two wineserver round
// trips per call, as much as the library and the server add to a request
// altogether). One thread may take it again while it holds it.
//
// Unlike a critical section it does not wait forever for an owner that died
// holding it (TerminateThread, or ExitThread called from a window procedure
// that ran while the thread waited for the server). A waiter looks at the
// owner every kOwnerCheckMs; once the owner's thread has ended, the waiter
// takes the lock over and, before it touches the request block, waits until
// the server has finished whatever the dead owner had sent
// (ServerConnection::Fence). The dead thread's call is lost; everybody else
// goes on. docs/server.md tells what a program sees.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "link/connection.h"
#include "link/frame.h"

namespace vard::link {
namespace {

constexpr DWORD kOwnerCheckMs = 50;

// A thread as the owner word holds it: its id in the low half and the low
// half of its creation time in the high half, so that a later thread given
// a dead owner's id is not mistaken for it. 0 is no owner.
using Owner = std::uint64_t;

std::uint32_t CreatedLow(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  return GetThreadTimes(thread, &created, &exited, &kernel, &user) ? created.dwLowDateTime : 0;
}

Owner Me() {
  thread_local Owner me = 0;
  if (me == 0) me = Owner{CreatedLow(GetCurrentThread())} << 32 | GetCurrentThreadId();
  return me;
}

// Whether the thread `owner` names has ended. A thread that cannot be
// looked at for another reason counts as alive: waiting is always safe.
bool Died(Owner owner) {
  HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE,
                             static_cast<DWORD>(owner));
  if (!thread) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such thread
  const bool died = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0 ||
                    GetProcessIdOfThread(thread) != GetCurrentProcessId() ||
                    CreatedLow(thread) != static_cast<std::uint32_t>(owner >> 32);
  CloseHandle(thread);
  return died;
}

struct LockState {
  std::atomic<Owner> owner{0};
  int depth = 0;  // the owner's, touched by the owner only
  std::atomic<long> waiters{0};
  HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset; never closed
} g_lock;  // a static: it exists before any thread can call in

}  // namespace

ApiLock::ApiLock() {
  const Owner me = Me();
  Owner seen = 0;
  if (g_lock.owner.compare_exchange_strong(seen, me)) {
    g_lock.depth = 1;
    return;
  }
  if (seen == me) {
    ++g_lock.depth;
    return;
  }
  bool took_over = false;
  g_lock.waiters.fetch_add(1);
  for (;;) {
    seen = 0;
    if (g_lock.owner.compare_exchange_strong(seen, me)) break;
    // A lost wake-up costs at most one check interval, and a wake-up meant
    // for another waiter only one more look at the word.
    if (WaitForSingleObject(g_lock.wake, kOwnerCheckMs) == WAIT_TIMEOUT && seen != 0 &&
        Died(seen) && g_lock.owner.compare_exchange_strong(seen, me)) {
      took_over = true;
      break;
    }
  }
  g_lock.waiters.fetch_sub(1);
  g_lock.depth = 1;
  if (took_over) {
    if (ServerConnection* c = CurrentConnection()) c->Fence();
  }
}

ApiLock::~ApiLock() {
  if (--g_lock.depth > 0) return;
  g_lock.owner.store(0);
  if (g_lock.waiters.load() > 0) SetEvent(g_lock.wake);
}

}  // namespace vard::link
