// Takes a picture of the Variable Navigator for the documentation: fills
// the pool with a few variables, opens the dialog in the given language,
// walks to Plant.Line1.Speed and writes the dialog's pixels to a PNG.
// Needs a display (scripts/screenshot-navigator.sh runs it under Xvfb).
//
//   navigator_screenshot LANGID OUTPUT.png
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "vard32.h"

namespace {

void Select(HWND dialog, int box, const char* text) {
  const int id = 13002 + box;
  const LRESULT i = SendDlgItemMessageA(dialog, id, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text));
  SendDlgItemMessageA(dialog, id, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The window's pixels as they are on the screen, written as an RGB PNG.
bool Capture(HWND window, const char* file) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
  const auto* bgra = static_cast<const unsigned char*>(bits);
  for (std::size_t p = 0; p < static_cast<std::size_t>(w) * h; ++p) {
    rgb[3 * p] = bgra[4 * p + 2];
    rgb[3 * p + 1] = bgra[4 * p + 1];
    rgb[3 * p + 2] = bgra[4 * p];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return stbi_write_png(file, w, h, 3, rgb.data(), w * 3) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: navigator_screenshot LANGID OUTPUT.png\n");
    return 2;
  }
  const auto language = static_cast<LANGID>(std::atoi(argv[1]));
  SetThreadUILanguage(language);
  SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
  InitDataManager();
  CreateNumber("Line1Speed", 1.25, "m/s", "Belt speed of line 1", "Plant.Line1.Speed");
  CreateNumber("Line1Force", 310, "N", "Press force of line 1", "Plant.Line1.Force");
  CreateString("Line2Speed", "fast", "Plant.Line2.Speed");
  CreateWaveform("Line1Trace", vardFloat, "Plant.Line1.Trace");
  CreateWaveform("Run1Events", vardDigital, "Test.Run1.Events");
  WritePrivateProfileStringA("Navigator", "LastPath", nullptr, "VARD.INI");

  bool written = false;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && !dialog; ++i) {
      for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;)
        if (GetWindowThreadProcessId(w, nullptr) == thread && IsWindowVisible(w)) dialog = w;
      if (!dialog) Sleep(20);
    }
    if (!dialog) return;
    Select(dialog, 0, "Plant");
    Select(dialog, 1, "Line1");
    Select(dialog, 2, "Speed");
    SetForegroundWindow(dialog);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(1000);  // let the X server show it
    written = Capture(dialog, argv[2]);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  char name[22];
  GetVariableName(nullptr, vardNavigateAll, name);
  helper.join();
  DeleteSubTree("Plant");
  DeleteSubTree("Test");
  ExitDataManager();
  std::printf("%s %s\n", argv[2], written ? "written" : "NOT written");
  return written ? 0 : 1;
}
