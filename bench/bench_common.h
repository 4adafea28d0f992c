// Shared pieces of the Windows benchmarks: a timer, and the bare transport
// they compare the library against (the same message and 64 KiB block, sent
// to a trivial window of another process).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace vard::bench {

inline double NowSeconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

class BareTransport {
 public:
  bool Start() {
    message_ = RegisterWindowMessageA("zorVardBenchEcho");
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir(exe);
    dir.resize(dir.find_last_of('\\') + 1);
    char title[32];
    std::snprintf(title, sizeof title, "echo%lu", GetCurrentProcessId());
    std::string command = "\"" + dir + "bench_echo.exe\" " + title;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &process_)) {
      return false;
    }
    for (int i = 0; i < 200 && !window_; ++i) {
      window_ = FindWindowA("zorVardBenchEcho", title);
      if (!window_) Sleep(50);
    }
    if (!window_) return false;
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, nullptr);
    view_ = static_cast<unsigned char*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    HANDLE dup = nullptr;
    DuplicateHandle(GetCurrentProcess(), mapping_, process_.hProcess, &dup, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SendMessageA(window_, message_, 1, reinterpret_cast<LPARAM>(dup));
    return view_ != nullptr;
  }
  ~BareTransport() {
    if (window_) SendMessageA(window_, message_, 9, 0);
    if (process_.hProcess) {
      WaitForSingleObject(process_.hProcess, 5000);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }
  // One round trip; the server copies `bytes` into the sample area first.
  LRESULT RoundTrip(LPARAM bytes = 0) const {
    return SendMessageA(window_, message_, bytes ? 2 : 3, bytes);
  }
  // One round trip in which the server copies `bytes` out of the sample area.
  LRESULT RoundTripTakingSamples(LPARAM bytes) const {
    return SendMessageA(window_, message_, 4, bytes);
  }
  unsigned char* View() const { return view_; }

 private:
  UINT message_ = 0;
  HWND window_ = nullptr;
  PROCESS_INFORMATION process_{};
  HANDLE mapping_ = nullptr;
  unsigned char* view_ = nullptr;
};

}  // namespace vard::bench
