// The call frame every exported data operation runs in: the process-wide API
// lock, the structured-exception guard, the connection and init-count check,
// and the 16-bit reply code.
#pragma once

#include <windows.h>

#include <cstdint>

#include "include/vard32.h"
#include "link/connection.h"
#include "link/seh_guard.h"

namespace vard::link {

// Holds the process-wide API lock for its lifetime. Waits without limit.
class ApiLock {
 public:
  ApiLock();
  ~ApiLock();
  ApiLock(const ApiLock&) = delete;
  ApiLock& operator=(const ApiLock&) = delete;
};

// The general frame: `preset` is the result when the guarded part faults,
// `notReady` when there is no connection, no registration, or no request
// block (a server that never attached leaves the connection registered but
// unusable); then nothing is sent.
template <class Result, class Routine>
Result Framed(Result preset, Result notReady, Routine&& routine) {
  ApiLock lock;
  Result result = preset;
  SehGuard([&] {
    ServerConnection* c = GetConnection();
    if (c && c->InitCount() > 0 && c->BlockView()) {
      result = routine(*c);
    } else {
      result = notReady;
    }
  });
  return result;
}

// The standard frame of an ANSI export: 1001 on a fault, 1000 when not
// registered, otherwise the routine's reply code.
template <class Routine>
short StandardFrame(Routine&& routine) {
  return Framed<short>(vardException, vardNotInitialized, routine);
}

// The frame of a wide export: no lock of its own (the ANSI export it calls
// takes it), a guard around the conversions, `on_fault` (1001 unless the
// export answers faults otherwise) when a caller's pointer faults.
template <class Body>
short WideFrame(Body&& body, short on_fault = vardException) {
  short result = on_fault;
  SehGuard([&] { result = body(); });
  return result;
}

// Converts for the wide exports. Both give the platform room for Size - 1
// units, and always leave a terminated text (cut, or empty) behind.
void WideToAnsi(const wchar_t* source, char* destination, short size);
void AnsiToWide(const char* source, wchar_t* destination, short size);

// A wide text argument converted into an ANSI buffer of N bytes, as the wide
// exports hand it on to the ANSI ones.
template <int N>
struct AnsiText {
  char text[N];
  explicit AnsiText(const wchar_t* source) { WideToAnsi(source, text, N); }
  operator char*() { return text; }
};

}  // namespace vard::link
