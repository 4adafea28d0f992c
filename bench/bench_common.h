// Shared pieces of the Windows benchmarks: a timer, the sample values of the
// waveform benchmark, and the bare transport they compare the library
// against (the same message and 64 KiB block, sent to a trivial window of
// another process, bench/echo_server.cpp).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vard::bench {

// Sample i of the waveform benchmark's data, in the library's waveform and
// in the echo server's store alike.
inline float SampleValue(std::int64_t i) { return static_cast<float>(i % 9973) * 0.25f; }

// The bare transport's request, at the start of the block: the sample range
// the echo server copies between its store and the block's sample area.
struct EchoRequest {
  std::int32_t first;  // first sample
  std::int32_t count;  // samples
};

// Codes of the echo server (wParam); every reply is an LRESULT.
enum EchoCode : WPARAM {
  kEchoAttach = 1,    // lParam: the block's handle, duplicated into the server; reply 1 if mapped
  kEchoToClient = 2,  // copy the range from the store into the sample area; reply: bytes copied
  kEchoAnswer = 3,    // answer at once; reply 0
  kEchoToServer = 4,  // copy the range from the sample area into the store; reply: bytes copied
  kEchoQuit = 9,
};

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
    if (!mapping_) return false;
    view_ = static_cast<unsigned char*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    HANDLE dup = nullptr;
    // A failed hand-over would leave the echo server without a block, and
    // every copy it is asked for would silently not happen.
    return view_ &&
           DuplicateHandle(GetCurrentProcess(), mapping_, process_.hProcess, &dup, 0, FALSE,
                           DUPLICATE_SAME_ACCESS) &&
           SendMessageA(window_, message_, kEchoAttach, reinterpret_cast<LPARAM>(dup)) == 1;
  }
  ~BareTransport() {
    if (window_) SendMessageA(window_, message_, kEchoQuit, 0);
    if (process_.hProcess) {
      WaitForSingleObject(process_.hProcess, 5000);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }
  // One round trip that the server answers at once.
  void RoundTrip() const { SendMessageA(window_, message_, kEchoAnswer, 0); }
  // One round trip in which the server copies samples first .. first+count-1
  // of its store into the sample area (kEchoToClient) or out of it into its
  // store (kEchoToServer). False unless it copied them all.
  bool Transfer(EchoCode code, std::int32_t first, std::int32_t count) const {
    const EchoRequest request{first, count};
    std::memcpy(view_, &request, sizeof request);
    return SendMessageA(window_, message_, code, 0) ==
           static_cast<LRESULT>(count) * static_cast<LRESULT>(sizeof(float));
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
