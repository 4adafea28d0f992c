// vardthk.dll: the data-pool server program. The library starts it with its
// own path and the client's process id on the command line.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "server/win/host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // "<path> <pid>": the path is not quoted and may hold blanks, so the
  // process id is the last word.
  const char* line = GetCommandLineA();
  const char* last = std::strrchr(line, ' ');
  if (!last) return 2;
  char* end = nullptr;
  unsigned long pid = std::strtoul(last + 1, &end, 10);
  if (pid == 0 || end == last + 1) return 2;
  return vard::server::host::Run(static_cast<DWORD>(pid));
}
