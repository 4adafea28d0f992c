// The public shared-memory helpers: paging-file mappings for callers that
// want to share data with the server or other programs. No lock, no
// connection needed.
#include <windows.h>

extern "C" {

HANDLE __stdcall VardSharedMemAllocate(DWORD Size) {
  return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, Size, nullptr);
}

LPVOID __stdcall VardSharedMemLock(HANDLE Mapping) {
  if (!Mapping) return nullptr;
  return MapViewOfFile(Mapping, FILE_MAP_WRITE, 0, 0, 0);
}

void __stdcall VardSharedMemUnlock(LPVOID View) {
  if (View) UnmapViewOfFile(View);
}

void __stdcall VardSharedMemFree(HANDLE Mapping) {
  if (Mapping) CloseHandle(Mapping);
}

}  // extern "C"
