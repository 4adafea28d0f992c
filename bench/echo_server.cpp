// The trivial server of the bare round-trip benchmarks: a window in another
// process that answers the registered message from a mapped 64 KiB block
// (codes in bench_common.h). Like the data-pool server it keeps the samples
// in a store of its own, the same values as the benchmark's waveform, and
// copies the requested range between that store and the block's sample
// area; it does nothing else.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/bench_common.h"
#include "include/vard_protocol.h"

namespace {

using vard::bench::EchoRequest;

UINT g_message = 0;
unsigned char* g_view = nullptr;
std::vector<float> g_store;

// The request's range as a byte count, growing the store to hold it; 0 when
// the range does not fit the sample area.
std::size_t Prepare(EchoRequest& request) {
  std::memcpy(&request, g_view, sizeof request);
  const std::int64_t bytes = std::int64_t{request.count} * 4;
  if (request.first < 0 || request.count <= 0 || bytes > vard::proto::kSampleAreaSize) return 0;
  const std::size_t end = static_cast<std::size_t>(request.first) + request.count;
  for (std::size_t i = g_store.size(); i < end; ++i)
    g_store.push_back(vard::bench::SampleValue(static_cast<std::int64_t>(i)));
  return static_cast<std::size_t>(bytes);
}

LRESULT Answer(WPARAM code, LPARAM lParam) {
  using namespace vard::bench;
  if (code == kEchoAttach) {
    g_view = static_cast<unsigned char*>(
        MapViewOfFile(reinterpret_cast<HANDLE>(lParam), FILE_MAP_WRITE, 0, 0, 0));
    return g_view ? 1 : 0;
  }
  if (code == kEchoQuit) PostQuitMessage(0);
  if ((code != kEchoToClient && code != kEchoToServer) || !g_view) return 0;
  EchoRequest request;
  const std::size_t bytes = Prepare(request);
  if (bytes == 0) return 0;
  unsigned char* const area = g_view + vard::proto::kSampleAreaOffset;
  float* const stored = g_store.data() + request.first;
  if (code == kEchoToClient) {
    std::memcpy(area, stored, bytes);
  } else {
    std::memcpy(stored, area, bytes);
  }
  return static_cast<LRESULT>(bytes);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_message) return Answer(wParam, lParam);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  g_message = RegisterWindowMessageA("zorVardBenchEcho");
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "zorVardBenchEcho";
  RegisterClassA(&wc);
  CreateWindowExA(0, wc.lpszClassName, argv[1], WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                  wc.hInstance, nullptr);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
  return 0;
}
