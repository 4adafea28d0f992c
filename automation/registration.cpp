// DllRegisterServer: registers the type library embedded in this file with
// the system, under the path of the file it was run on. The library is no
// Automation server and registers no classes. There is no unregistration
// entry (another exported name would shift the ordinals after it);
// docs/automation.md tells how to remove the registration.
#include <windows.h>

#include <oleauto.h>  // after windows.h

#include "link/connection.h"
#include "link/handles.h"

namespace {

struct BstrTraits {
  static void Close(BSTR s) { SysFreeString(s); }
};
struct TypeLibTraits {
  static void Close(ITypeLib* lib) { lib->Release(); }
};

}  // namespace

extern "C" HRESULT __stdcall DllRegisterServer() {
  char path[MAX_PATH];
  DWORD bytes = GetModuleFileNameA(vard::link::LibraryModule(), path, sizeof path);
  if (bytes > MAX_PATH - 1) bytes = MAX_PATH - 1;
  // As many characters as the path has bytes; a double-byte path converts
  // to fewer and the rest stays zero.
  vard::link::Owned<BSTR, BstrTraits> wide(SysAllocStringLen(nullptr, bytes));
  if (!wide) return E_OUTOFMEMORY;
  ZeroMemory(wide.get(), (bytes + 1) * sizeof(OLECHAR));
  if (bytes > 0) {
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, static_cast<int>(bytes), wide.get(),
                        static_cast<int>(bytes));
  }
  ITypeLib* loaded = nullptr;
  const HRESULT load = LoadTypeLib(wide.get(), &loaded);
  if (load != S_OK) return load;  // nothing registered
  vard::link::Owned<ITypeLib*, TypeLibTraits> lib(loaded);
  return RegisterTypeLib(lib.get(), wide.get(), nullptr);
}
