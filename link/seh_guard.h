// Structured-exception guard for GCC, which has no __try.
//
// SehGuard(body) runs body() and returns true, or false when a structured
// exception (access violation, divide by zero, ...) ended it. Only faults
// raised while the body runs on the guarding thread reach it, the thread
// survives any number of them, and a C++ exception is never taken.
//
// The body must not rely on destructors: a fault skips them. Keep RAII
// owners (locks, buffers) outside the guard.
#pragma once

#include <windows.h>

#include <csetjmp>
#include <utility>

namespace vard::link {

#if defined(__i386__)

// 32-bit: a registration record is pushed on the thread's exception chain
// (fs:[0]); its handler longjmps back into the guarding frame, which then
// unlinks the record. Frame-based, not vectored.
namespace detail {

struct SehRecord {
  SehRecord* next;
  void* handler;
};

struct SehFrame {
  SehRecord record;  // must come first: the handler gets its address
  std::jmp_buf resume;
};

inline SehRecord* ChainHead() {
  SehRecord* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}

inline void SetChainHead(SehRecord* head) {
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

extern "C" EXCEPTION_DISPOSITION __cdecl VardSehHandler(EXCEPTION_RECORD* record, void* frame,
                                                        CONTEXT*, void*);

}  // namespace detail

// Runs body(); returns true when it completed, false when a structured
// exception (access violation, divide by zero, ...) ended it.
template <class Body>
__attribute__((noinline)) bool SehGuard(Body&& body) {
  detail::SehFrame frame;
  frame.record.next = detail::ChainHead();
  frame.record.handler = reinterpret_cast<void*>(&detail::VardSehHandler);
  detail::SetChainHead(&frame.record);
  if (setjmp(frame.resume) == 0) {
    std::forward<Body>(body)();
    detail::SetChainHead(frame.record.next);
    return true;
  }
  // Back from the handler: drop our record and anything the dispatcher
  // pushed above it.
  detail::SetChainHead(frame.record.next);
  return false;
}

#elif defined(__x86_64__)

// 64-bit: there is no fs:[0] chain; unwinding is table-driven. Each thread
// keeps a chain of its active guards in a TLS slot, and one vectored handler
// (installed when the library loads) takes processor faults of a thread that
// has a guard: it rewrites the faulting context so that the thread continues
// in a small routine, on a scratch stack inside the guard's own frame, which
// __builtin_longjmps back into the guard. Unwinding from inside the handler
// itself is not safe; continuing into the routine is.
//
// A vectored handler sees a fault before any frame-based handler does, so a
// fault that a system routine would catch itself also ends the guarded call.
// Software exceptions (C++ exceptions of any compiler, RPC and debugger
// notifications) are never taken.
namespace detail {

struct GuardFrame {
  void* resume[5];    // __builtin_setjmp buffer
  GuardFrame* outer;  // the guard this one runs inside, if any
  alignas(16) unsigned char scratch[512];  // stack of the resume routine
};

GuardFrame* InnermostGuard();
void SetInnermostGuard(GuardFrame* frame);

// Puts the thread's previous guard back when the body completes or a C++
// exception leaves it (a fault skips it; the guard restores by hand).
struct GuardScope {
  GuardFrame* frame;
  explicit GuardScope(GuardFrame* f) : frame(f) { SetInnermostGuard(f); }
  ~GuardScope() { SetInnermostGuard(frame->outer); }
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;
};

}  // namespace detail

template <class Body>
__attribute__((noinline)) bool SehGuard(Body&& body) {
  detail::GuardFrame frame;
  frame.outer = detail::InnermostGuard();
  if (__builtin_setjmp(frame.resume) == 0) {
    detail::GuardScope scope(&frame);
    std::forward<Body>(body)();
    return true;
  }
  // Back from a fault.
  detail::SetInnermostGuard(frame.outer);
  return false;
}

#else
#error "SehGuard supports i686 and x86_64"
#endif

}  // namespace vard::link
