// Structured-exception guard for 32-bit GCC, which has no __try.
//
// A registration record is pushed on the thread's exception chain (fs:[0]);
// its handler longjmps back into the guarding frame, which then unlinks the
// record. Frame-based, not vectored: only faults raised while the guarded
// body runs on this thread reach it, and it survives any number of faults.
//
// The body must not rely on destructors: a fault skips them. Keep RAII
// owners (locks, buffers) outside the guard.
#pragma once

#include <windows.h>

#include <csetjmp>
#include <utility>

namespace vard::link {

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

}  // namespace vard::link
