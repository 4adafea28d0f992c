#include "link/seh_guard.h"

#if defined(__i386__)

namespace vard::link::detail {

extern "C" EXCEPTION_DISPOSITION __cdecl VardSehHandler(EXCEPTION_RECORD* record, void* frame,
                                                        CONTEXT*, void*) {
  // During an unwind the record is only being passed; nothing to do.
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    return ExceptionContinueSearch;
  }
  // A C++ exception thrown inside a guard is not ours to swallow: the guarded
  // code catches its own. Everything else is a fault in caller memory.
  constexpr DWORD kGccException = 0x20474343;  // "GCC " raised by the C++ runtime
  if (record->ExceptionCode == kGccException) return ExceptionContinueSearch;
  auto* f = static_cast<SehFrame*>(frame);
  std::longjmp(f->resume, 1);
}

}  // namespace vard::link::detail

#elif defined(__x86_64__)

#include <cstdint>

namespace vard::link::detail {
namespace {

// Faults of the processor and the memory manager: what a bad pointer, a bad
// divisor or a runaway recursion raises. Software exceptions pass by.
bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

// Where the redirected thread continues: straight back into the guard.
[[noreturn]] __attribute__((noinline)) void ResumeGuard(GuardFrame* frame) {
  __builtin_longjmp(frame->resume, 1);
}

LONG CALLBACK GuardHandler(EXCEPTION_POINTERS* info) {
  if (!IsProcessorFault(info->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  GuardFrame* frame = InnermostGuard();
  CONTEXT* context = info->ContextRecord;
  // Only a fault below the guard's frame on this thread's stack is its body's.
  if (!frame || context->Rsp >= reinterpret_cast<DWORD64>(frame)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  // Enter ResumeGuard as if called: the stack 16-byte aligned before the
  // return address slot, with room above it for the callee's home area.
  const auto top = reinterpret_cast<std::uintptr_t>(frame->scratch + sizeof frame->scratch);
  context->Rsp = (top - 64) & ~std::uintptr_t{15};
  context->Rsp -= 8;
  context->Rcx = reinterpret_cast<DWORD64>(frame);
  context->Rip = reinterpret_cast<DWORD64>(&ResumeGuard);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The TLS slot of the guard chain and the vectored handler, for as long as
// the library is loaded; unloading removes the handler before its code goes.
class GuardRuntime {
 public:
  GuardRuntime()
      : slot_(TlsAlloc()),
        handler_(slot_ != TLS_OUT_OF_INDEXES ? AddVectoredExceptionHandler(1, &GuardHandler)
                                             : nullptr) {}
  ~GuardRuntime() {
    if (handler_) RemoveVectoredExceptionHandler(handler_);
    if (slot_ != TLS_OUT_OF_INDEXES) TlsFree(slot_);
  }
  GuardRuntime(const GuardRuntime&) = delete;
  GuardRuntime& operator=(const GuardRuntime&) = delete;

  DWORD slot() const { return slot_; }

 private:
  DWORD slot_;
  void* handler_;
};

GuardRuntime g_runtime;

}  // namespace

GuardFrame* InnermostGuard() {
  if (g_runtime.slot() == TLS_OUT_OF_INDEXES) return nullptr;
  // TlsGetValue clears the thread's last error; a fault is no reason to.
  const DWORD error = GetLastError();
  auto* frame = static_cast<GuardFrame*>(TlsGetValue(g_runtime.slot()));
  SetLastError(error);
  return frame;
}

void SetInnermostGuard(GuardFrame* frame) {
  if (g_runtime.slot() != TLS_OUT_OF_INDEXES) TlsSetValue(g_runtime.slot(), frame);
}

}  // namespace vard::link::detail

#endif
