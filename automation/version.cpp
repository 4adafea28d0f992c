// GetVard32Version: the library's own file version from its version
// resource, read back from the file: major version in the high 16 bits,
// minor in the low 16 bits (0x00050000). 0 when there is none to read.
#include <windows.h>

#include "include/vard32.h"
#include "link/connection.h"
#include "link/handles.h"

namespace {

struct GlobalTraits {
  static void Close(HGLOBAL block) { GlobalFree(block); }
};

}  // namespace

extern "C" DWORD __stdcall GetVard32Version() {
  char path[256];
  const DWORD length = GetModuleFileNameA(vard::link::LibraryModule(), path, sizeof path);
  if (length == 0 || length >= sizeof path) return 0;
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &unused);
  if (size == 0) return 0;
  vard::link::Owned<HGLOBAL, GlobalTraits> block(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!block) return 0;
  void* data = GlobalLock(block.get());
  if (!data) return 0;
  DWORD version = 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT info_size = 0;
  if (GetFileVersionInfoA(path, 0, size, data) &&
      VerQueryValueA(data, "\\", reinterpret_cast<void**>(&info), &info_size) && info &&
      info_size >= sizeof *info) {
    version = info->dwFileVersionMS;
  }
  GlobalUnlock(block.get());
  return version;
}
