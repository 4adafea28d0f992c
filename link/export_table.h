// The export table of VARD32.dll: read from its list (link/exports.list),
// ordinals pinned, written as module-definition files. Portable: it runs at
// build time on the build machine (tools/write_exports.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vard::exports {

struct Export {
  std::string name;
  int stack = 0;       // bytes of arguments of the standard call
  std::string target;  // for a second name: the export it names; else empty
  int ordinal = 0;     // 0 until pinned
};

// Parses module-definition export lines: "Name@N" or "Alias@N = Target@N".
// ';' starts a comment; LIBRARY and EXPORTS lines are skipped. Throws
// std::invalid_argument naming the line of anything else.
std::vector<Export> Parse(std::string_view text);

// Pins the ordinals of a complete list: GetVard32Version 2, then
// VardSharedMemAllocate, VardSharedMemFree, VardSharedMemLock and
// VardSharedMemUnlock 3 to 6, then every other name in byte-wise ascending
// order from 7, and puts the list into ordinal order. Throws
// std::invalid_argument when a name is listed twice, a pinned name is
// missing, or a second name's target is not a first name with the same
// stack size.
void PinOrdinals(std::vector<Export>& list);

// Module-definition files for the linker: the 32-bit one keeps the @N of
// each name (the import library needs them; the linker strips them from the
// exported names), the 64-bit one has none.
std::string Definition32(const std::vector<Export>& exports);
std::string Definition64(const std::vector<Export>& exports);

// C++ initializer rows {"Name", ordinal, "Target"} for the export-table test.
std::string TestRows(const std::vector<Export>& exports);

}  // namespace vard::exports
