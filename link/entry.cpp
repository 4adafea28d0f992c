// The library's entry point: remembers the module handle and, when the
// process lets go of the library, ends the link to the server.
#include "link/connection.h"

namespace vard::link {
namespace {
HMODULE g_module = nullptr;
}
HMODULE LibraryModule() { return g_module; }
}  // namespace vard::link

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  vard::link::g_module = instance;
  if (reason == DLL_PROCESS_DETACH) {
    // Runs inside the loader's notification, without the API lock: no other
    // thread of this process can be inside the library any more.
    vard::link::ReleaseConnection();
  }
  return TRUE;
}
