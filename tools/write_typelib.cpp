// Build tool: writes the compiled type library of VARD32.dll from its
// description table.
//
//   write_typelib win32|win64 OUTPUT
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

#include "automation/typelib_table.h"
#include "automation/typelib_writer.h"

int main(int argc, char** argv) {
  using vard::tlb::SysKind;
  if (argc != 3 || (std::strcmp(argv[1], "win32") != 0 && std::strcmp(argv[1], "win64") != 0)) {
    std::fprintf(stderr, "usage: write_typelib win32|win64 OUTPUT\n");
    return 2;
  }
  const SysKind kind = std::strcmp(argv[1], "win64") == 0 ? SysKind::Win64 : SysKind::Win32;
  try {
    const auto bytes = vard::tlb::WriteTypeLib(vard::tlb::table::kLibrary, kind);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "write_typelib: cannot write %s\n", argv[2]);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_typelib: %s\n", e.what());
    return 1;
  }
  return 0;
}
