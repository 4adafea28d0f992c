#include "server/win/host.h"

#include <cstdlib>

#include "server/core/formula_shell.h"
#include "server/core/pool.h"
#include "server/win/client.h"
#include "server/win/formula_editor.h"

namespace vard::server::host {
namespace {

constexpr UINT kClientGone = WM_APP + 2;
constexpr UINT_PTR kLingerTimer = 1;
constexpr DWORD kRetryMs = 50;

// Host state; touched only by the host's main thread, except g_window, which
// client threads read to report their end (it outlives every client).
HWND g_window = nullptr;
HANDLE g_mutex = nullptr;
UINT g_adoptMessage = 0;
int g_clients = 0;
DWORD g_lingerMs = kDefaultLingerMs;

DWORD LingerFromEnvironment() {
  // Tests shorten the linger; programs never need to.
  char text[16];
  DWORD n = GetEnvironmentVariableA("VARD_POOL_LINGER_MS", text, sizeof text);
  if (n == 0 || n >= sizeof text) return kDefaultLingerMs;
  return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

bool Adopt(DWORD clientPid) {
  if (!StartClient(clientPid)) return false;
  ++g_clients;
  KillTimer(g_window, kLingerTimer);
  return true;
}

// Ends the host if it still has no client. Holding the hand-over mutex
// while the window goes away means an instance that finds the window can
// rely on it, and one that does not will become the next host.
void TryToEnd() {
  if (g_clients > 0) return;
  DWORD w = WaitForSingleObject(g_mutex, 0);
  if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
    SetTimer(g_window, kLingerTimer, kRetryMs, nullptr);  // a hand-over is under way
    return;
  }
  if (g_clients == 0) {
    DestroyWindow(g_window);
    g_window = nullptr;
    PostQuitMessage(0);
  }
  ReleaseMutex(g_mutex);
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == g_adoptMessage && g_adoptMessage != 0) {
    return Adopt(static_cast<DWORD>(wParam)) ? 1 : 0;
  }
  switch (msg) {
    case kClientGone:
      if (--g_clients <= 0) {
        g_clients = 0;
        SetTimer(hwnd, kLingerTimer, g_lingerMs ? g_lingerMs : 1, nullptr);
      }
      return 0;
    case WM_TIMER:
      if (wParam == kLingerTimer) {
        KillTimer(hwnd, kLingerTimer);
        TryToEnd();
      }
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

int HandOver(HWND hostWindow, DWORD clientPid) {
  DWORD_PTR accepted = 0;
  LRESULT sent = SendMessageTimeoutA(hostWindow, g_adoptMessage, clientPid, 0,
                                     SMTO_NORMAL | SMTO_ABORTIFHUNG, 10000, &accepted);
  return sent && accepted == 1 ? 0 : 1;
}

int Host(HINSTANCE instance, DWORD clientPid) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &HostProc;
  wc.hInstance = instance;
  wc.lpszClassName = kHostClass;
  if (RegisterClassA(&wc) && RegisterClientClass(instance)) {
    g_window = CreateWindowExA(0, kHostClass, "VARD data pool", WS_OVERLAPPED, 0, 0, 0, 0,
                               nullptr, nullptr, instance, nullptr);
  }
  if (!g_window) {
    ReleaseMutex(g_mutex);
    return 1;
  }
  g_lingerMs = LingerFromEnvironment();
  // The formula family's window and the clients' code page.
  InstallFormulaShell(FormulaShell{[] { return editor::Show(ThePool()); },
                                   [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }});
  if (!Adopt(clientPid)) {
    // Nobody to serve: linger as after a last client.
    SetTimer(g_window, kLingerTimer, g_lingerMs ? g_lingerMs : 1, nullptr);
  }
  ReleaseMutex(g_mutex);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  editor::Hide();  // before the pool goes with the process's statics
  return 0;
}

}  // namespace

Pool& ThePool() {
  static Pool pool;
  return pool;
}

void ClientGone() { PostMessageA(g_window, kClientGone, 0, 0); }

int Run(DWORD clientPid) {
  g_mutex = CreateMutexA(nullptr, FALSE, kHostMutexName);
  if (!g_mutex) return 1;
  DWORD w = WaitForSingleObject(g_mutex, 30000);
  if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) return 1;
  g_adoptMessage = RegisterWindowMessageA(kAdoptMessage);
  if (HWND existing = FindWindowA(kHostClass, nullptr)) {
    int rc = HandOver(existing, clientPid);
    ReleaseMutex(g_mutex);
    return rc;
  }
  return Host(GetModuleHandleA(nullptr), clientPid);
}

}  // namespace vard::server::host
