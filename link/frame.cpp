#include "link/frame.h"

namespace vard::link {
namespace {

HANDLE g_apiMutex = nullptr;

// Created once, even when the first calls arrive on several threads at once:
// the loser of the race closes its own mutex and uses the winner's.
HANDLE ApiMutex() {
  HANDLE m = static_cast<HANDLE>(InterlockedCompareExchangePointer(&g_apiMutex, nullptr, nullptr));
  if (m) return m;
  HANDLE fresh = CreateMutexA(nullptr, FALSE, nullptr);
  HANDLE prior = static_cast<HANDLE>(InterlockedCompareExchangePointer(&g_apiMutex, fresh, nullptr));
  if (prior) {
    CloseHandle(fresh);
    return prior;
  }
  return fresh;
}

}  // namespace

ApiLock::ApiLock() { WaitForSingleObject(ApiMutex(), INFINITE); }
ApiLock::~ApiLock() { ReleaseMutex(g_apiMutex); }

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

}  // namespace vard::link
