// The shape of the library's type library, as plain constant data: a
// library, its enumerations and one module of functions. The table itself is
// typelib_table.h; the writer (typelib_writer.h) turns it into the compiled
// format and the type-library test compares what the platform reads back
// with it. Portable: no platform headers.
#pragma once

#include <cstdint>

namespace vard::tlb {

// The Automation types the module uses.
enum class Base : std::uint8_t { Void, I2, I4, Int, R4, R8, Bool, Bstr, Enum };

struct Type {
  Base base = Base::Void;
  const char* enumeration = nullptr;  // Base::Enum: the enumeration's name
  bool array = false;                 // SAFEARRAY of the base type
};

// Direction of a parameter. Out and in/out parameters, and every array, are
// passed by reference (a pointer to the type).
enum class Dir : std::uint8_t { In, Out, InOut };

struct Param {
  const char* name = nullptr;  // null ends a parameter list
  Type type;
  Dir dir = Dir::In;
};

inline constexpr int kMaxParams = 9;
inline constexpr int kMaxConstants = 17;

struct Function {
  const char* name;
  const char* entry;  // the export that the function calls
  std::int32_t help_context;
  const char* help_string;
  Type result;
  Param params[kMaxParams];
};

struct Constant {
  const char* name = nullptr;  // null ends a constant list
  std::int32_t value = 0;
  const char* help_string = nullptr;  // null: none
};

struct Enumeration {
  const char* name;
  const char* doc;
  std::int32_t help_context;
  Constant constants[kMaxConstants];
};

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2, data3;
  std::uint8_t data4[8];
};

struct Module {
  const char* name;
  const char* doc;
  std::int32_t help_context;
  const char* dll_name;
  Guid guid;
};

struct Library {
  const char* name;
  const char* doc;
  const char* help_file;
  std::int32_t help_context;
  std::uint16_t major, minor;
  std::uint32_t lcid;
  Guid guid;
  const Enumeration* enumerations;
  int enumeration_count;
  Module module;
  const Function* functions;
  int function_count;
};

// The platform kinds a library targets; the values are those of SYSKIND.
enum class SysKind : std::uint32_t { Win32 = 1, Win64 = 3 };

// Counts of the null-terminated lists.
constexpr int ParamCount(const Function& f) {
  int n = 0;
  while (n < kMaxParams && f.params[n].name) ++n;
  return n;
}
constexpr int ConstantCount(const Enumeration& e) {
  int n = 0;
  while (n < kMaxConstants && e.constants[n].name) ++n;
  return n;
}

// Bytes of arguments that a 32-bit stdcall caller pushes for a function:
// every argument takes a 4-byte slot (16-bit ones widened), doubles take 8.
constexpr int StackBytes32(const Function& f) {
  int bytes = 0;
  for (int i = 0; i < ParamCount(f); ++i) {
    const Param& p = f.params[i];
    const bool by_value = p.dir == Dir::In && !p.type.array;
    bytes += by_value && p.type.base == Base::R8 ? 8 : 4;
  }
  return bytes;
}

}  // namespace vard::tlb
