// Loads VARD32.dll dynamically, registers twice and unloads it, so that the
// library's own detach path runs while a fake server listens. Prints the
// codes the server received, e.g. "1 3 3 4 4 2".
#include <windows.h>

#include <cstdio>

#include "tests/harness/fake_server.h"

int main() {
  vard::test::FakeServer server;
  server.WaitForWindow();
  HMODULE library = LoadLibraryA("VARD32.dll");
  if (!library) return 2;
  auto init = reinterpret_cast<void(__stdcall*)()>(GetProcAddress(library, "InitDataManager"));
  if (!init) return 3;
  init();
  init();
  FreeLibrary(library);
  for (auto code : server.Codes()) std::printf("%u ", code);
  std::printf("\n");
  return 0;
}
