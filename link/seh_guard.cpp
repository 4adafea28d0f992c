#include "link/seh_guard.h"

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
