// Small owners for the Win32 objects the link holds.
#pragma once

#include <windows.h>

#include <utility>

extern "C" {
HANDLE __stdcall VardSharedMemAllocate(DWORD Size);
void __stdcall VardSharedMemFree(HANDLE Mapping);
LPVOID __stdcall VardSharedMemLock(HANDLE Mapping);
void __stdcall VardSharedMemUnlock(LPVOID View);
}

namespace vard::link {

template <class T, class Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, T{}));
    return *this;
  }
  ~Owned() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != T{}; }
  void reset(T value = T{}) {
    if (value_ != T{}) Traits::Close(value_);
    value_ = value;
  }

 private:
  T value_{};
};

struct WindowTraits {
  // Only the creating thread can destroy a window; elsewhere this fails and
  // the window lives until the process ends.
  static void Close(HWND w) { DestroyWindow(w); }
};
struct MappingTraits {
  static void Close(HANDLE h) { VardSharedMemFree(h); }
};
struct ViewTraits {
  static void Close(void* p) { VardSharedMemUnlock(p); }
};
struct HandleTraits {
  static void Close(HANDLE h) { CloseHandle(h); }
};

using OwnedWindow = Owned<HWND, WindowTraits>;
using OwnedMapping = Owned<HANDLE, MappingTraits>;
using MappedView = Owned<void*, ViewTraits>;
using OwnedHandle = Owned<HANDLE, HandleTraits>;

// What CreateProcess returned for the server. The library never waits for or
// ends the server; it only lets go of the handles.
struct ProcessRecord {
  PROCESS_INFORMATION info{};
  ProcessRecord() = default;
  ProcessRecord(const ProcessRecord&) = delete;
  ProcessRecord& operator=(const ProcessRecord&) = delete;
  ~ProcessRecord() { Clear(); }
  void Clear() {
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    info = PROCESS_INFORMATION{};
  }
};

}  // namespace vard::link
