// The pool's reader/writer lock.
//
// On Windows it is the system's slim reader/writer lock. The C++ runtime's
// std::shared_mutex there sits on the threading library's reader/writer lock,
// which is made on first use; two threads that meet a fresh lock can each
// make one, and then both hold it "exclusively" (seen as two clients both
// creating the same name in a new pool). An SRWLOCK is complete when zeroed.
// Elsewhere std::shared_mutex serves, so the native builds keep their
// sanitizers' view of the lock.
#pragma once

#ifndef _WIN32
#include <shared_mutex>
#endif

namespace vard::server {

#ifdef _WIN32
class SharedMutex {
 public:
  SharedMutex() = default;
  SharedMutex(const SharedMutex&) = delete;
  SharedMutex& operator=(const SharedMutex&) = delete;

  void lock() noexcept;
  bool try_lock() noexcept;
  void unlock() noexcept;
  void lock_shared() noexcept;
  bool try_lock_shared() noexcept;
  void unlock_shared() noexcept;

 private:
  // An SRWLOCK: one pointer, all zero when free (shared_mutex.cpp keeps
  // <windows.h> out of the pool's header).
  void* lock_ = nullptr;
};
#else
using SharedMutex = std::shared_mutex;
#endif

}  // namespace vard::server
