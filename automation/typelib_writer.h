// Compiles a type-library description (typelib_model.h) into the compiled
// type-library format of OLE Automation (the "MSFT" format that LoadTypeLib
// reads). docs/typelib.md describes the structures as written here.
// Portable: runs at build time on the build machine.
#pragma once

#include <cstdint>
#include <vector>

#include "automation/typelib_model.h"

namespace vard::tlb {

// The whole file. Throws std::invalid_argument for a description the format
// cannot hold: a name that is not ASCII letters, digits and '_' (or longer
// than 255), a text longer than 65535 bytes, a reference to an enumeration
// the library does not declare, or a parameter list that is not
// null-terminated.
std::vector<std::uint8_t> WriteTypeLib(const Library& library, SysKind kind);

// The platform's hash of a name for the locale 0x409 (LHashValOfNameSys):
// the low 16 bits key the name table, the high 16 bits mark the locale
// group. Names are ASCII letters, digits and '_'.
std::uint32_t NameHash(SysKind kind, const char* name);

}  // namespace vard::tlb
