#include "link/frame.h"

#include <cstring>

namespace vard::link {
namespace {

// The API lock orders every framed call of the process and waits without
// limit. It is a critical section, not a kernel mutex: the same ordering
// (and the same recursion by one thread), but an uncontended call never
// leaves user mode, which matters when a request itself costs only tens of
// microseconds. Being a static, it exists before any thread can call in.
struct ApiCriticalSection {
  CRITICAL_SECTION section;
  ApiCriticalSection() { InitializeCriticalSection(&section); }
} g_apiLock;

}  // namespace

ApiLock::ApiLock() { EnterCriticalSection(&g_apiLock.section); }
ApiLock::~ApiLock() { LeaveCriticalSection(&g_apiLock.section); }

namespace {

constexpr DWORD kWideToAnsiFlags = WC_COMPOSITECHECK | WC_SEPCHARS;  // 0x220

// Number of wide units of `source` (no terminator) whose conversion fits in
// `room` bytes, never splitting a surrogate pair.
int FittingWidePrefix(const wchar_t* source, int room) {
  int fits = 0;
  for (int n = 1; source[n - 1] != L'\0'; ++n) {
    if (n < 0x7fff && source[n] != L'\0' && IS_HIGH_SURROGATE(source[n - 1])) continue;
    int need = WideCharToMultiByte(CP_ACP, kWideToAnsiFlags, source, n, nullptr, 0, nullptr,
                                   nullptr);
    if (need <= 0 || need > room) break;
    fits = n;
  }
  return fits;
}

int FittingAnsiPrefix(const char* source, int room) {
  int fits = 0;
  for (int n = 1; source[n - 1] != '\0'; ++n) {
    if (IsDBCSLeadByte(static_cast<BYTE>(source[n - 1])) && source[n] != '\0') continue;
    int need = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, source, n, nullptr, 0);
    if (need <= 0 || need > room) break;
    fits = n;
  }
  return fits;
}

}  // namespace

void WideToAnsi(const wchar_t* source, char* destination, short size) {
  if (size <= 0) return;  // no room at all: nothing may be written
  destination[0] = '\0';
  if (!source || size < 2) return;
  const int room = size - 1;
  if (WideCharToMultiByte(CP_ACP, kWideToAnsiFlags, source, -1, destination, room, nullptr,
                          nullptr) > 0) {
    return;
  }
  // Too long for the room: keep the longest whole-character prefix that
  // leaves space for the terminator.
  const int keep = FittingWidePrefix(source, room - 1);
  const int written = keep > 0 ? WideCharToMultiByte(CP_ACP, kWideToAnsiFlags, source, keep,
                                                     destination, room - 1, nullptr, nullptr)
                               : 0;
  destination[written > 0 ? written : 0] = '\0';
}

void AnsiToWide(const char* source, wchar_t* destination, short size) {
  if (size <= 0) return;
  destination[0] = L'\0';
  if (!source || size < 2) return;
  const int room = size - 1;
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, source, -1, destination, room) > 0) return;
  const int keep = FittingAnsiPrefix(source, room - 1);
  const int written =
      keep > 0 ? MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, source, keep, destination, room - 1)
               : 0;
  destination[written > 0 ? written : 0] = L'\0';
}

void DdeWideToAnsi(const wchar_t* source, int length, char* destination, int size) {
  if (size <= 0) return;
  destination[0] = '\0';
  const int room = size - 1;
  int written = length > 0 ? WideCharToMultiByte(CP_ACP, 0, source, length, destination, room,
                                                 nullptr, nullptr)
                           : 0;
  if (written <= 0 && length > 0) {
    // Too long for the room (a code page of more than two bytes a
    // character): as many whole characters as fit, one at a time.
    written = 0;
    for (int i = 0; i < length;) {
      const int units = IS_HIGH_SURROGATE(source[i]) && i + 1 < length ? 2 : 1;
      char bytes[8];
      const int n = WideCharToMultiByte(CP_ACP, 0, source + i, units, bytes, sizeof bytes,
                                        nullptr, nullptr);
      if (n <= 0 || written + n > room) break;
      std::memcpy(destination + written, bytes, n);
      written += n;
      i += units;
    }
  }
  destination[written] = '\0';
}

}  // namespace vard::link
