// SetAlwaysOnTop: makes a window topmost, or not, without moving, sizing or
// activating it. OnTop is an Automation Boolean of which only the low 16
// bits count; an invalid window is left to the platform to ignore.
#include <windows.h>

#include "include/vard32.h"

extern "C" void __stdcall SetAlwaysOnTop(HWND hWnd, long OnTop) {
  const HWND after = LOWORD(OnTop) != 0 ? HWND_TOPMOST : HWND_NOTOPMOST;
  SetWindowPos(hWnd, after, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}
