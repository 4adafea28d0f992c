// The trivial server of the bare round-trip benchmarks: a window in another
// process that answers the registered message from a mapped 64 KiB block.
// Code 1 attaches the block; code 2 copies `lParam` bytes into the block's
// sample area and code 4 copies `lParam` bytes out of it, as a server that
// only copies would on a read and on a write; every other code is answered
// at once.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

UINT g_message = 0;
unsigned char* g_view = nullptr;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_message) {
    if (wParam == 1) {
      g_view = static_cast<unsigned char*>(
          MapViewOfFile(reinterpret_cast<HANDLE>(lParam), FILE_MAP_WRITE, 0, 0, 0));
    } else if (wParam == 2 && g_view && lParam > 0 && lParam <= 64674) {
      static unsigned char source[65536];
      std::memcpy(g_view + 852, source, static_cast<size_t>(lParam));
    } else if (wParam == 4 && g_view && lParam > 0 && lParam <= 64674) {
      static unsigned char sink[65536];
      std::memcpy(sink, g_view + 852, static_cast<size_t>(lParam));
      asm volatile("" : : "r"(sink) : "memory");  // the copy must happen although nobody reads it
    } else if (wParam == 9) {
      PostQuitMessage(0);
    }
    return 0;
  }
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
