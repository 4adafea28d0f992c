// Text expansion: a text with references to variables in braces, expanded
// with the pool's current values. docs/formulas.md gives the syntax:
//
//   {Speed}              the value of a number (%g), or the text of a string
//   {Speed*60 + 1}       the value of any formula
//   {Speed:%.3f}         a value with a printf-style format, checked first
//   {Speed:units}        a number's units
//   {Speed:description}  any variable's description
//   {{  }}               a literal brace
//
// A reference that cannot be expanded becomes a marker "<?reason>" (reasons
// in docs/formulas.md). The whole text is expanded under one read view.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "server/core/pool.h"

namespace vard::server {

// Whether a byte starts a two-byte character in the ANSI code page the
// clients use; null where every character is one byte.
using LeadByteTest = bool (*)(unsigned char);

struct Expansion {
  std::string text;  // at most limit - 1 bytes
  bool cut = false;  // the whole expansion would have been longer
};

// Expands `input`. The text is cut, at a whole character, to limit - 1
// bytes, so that it fits a buffer of `limit` bytes with its NUL; a limit of
// 0 leaves it empty.
Expansion ExpandText(const Pool& pool, std::string_view input, std::size_t limit,
                     LeadByteTest lead_byte = nullptr);

// Whether `format` is a format the expansion accepts for a number:
// "%" [flags "-+ #0"] [width 1..60] ["." precision 0..40] and one of
// "f e E g G". Only such a format ever reaches snprintf.
bool IsNumberFormat(std::string_view format) noexcept;

}  // namespace vard::server
