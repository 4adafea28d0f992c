// What every Automation entry shares: the guard, required and optional BSTR
// arguments, and the Booleans. An entry converts its BSTR and SAFEARRAY
// arguments (marshal.h), calls the plain export, which does the request
// inside its own frame, and converts what comes back.
#pragma once

#include <windows.h>

#include <oleauto.h>  // after windows.h

#include <cstddef>
#include <memory>
#include <new>

#include "automation/marshal.h"
#include "include/vard_enums.h"
#include "link/frame.h"
#include "link/seh_guard.h"

namespace vard::automation {

// Runs an entry. A structured exception in the entry's own work (an
// unreadable BSTR, an unwritable out-pointer, a bad array descriptor) ends
// it with `on_fault`; faults inside the plain export are answered by that
// export's frame. Keep owners that must release something out of `body`
// where a fault could skip them: only the entry's own conversions can fault.
template <class Body, class Result = long>
Result Entry(Body&& body, Result on_fault = vardException) {
  Result result = on_fault;
  link::SehGuard([&] { result = body(); });
  return result;
}

// True when any of the required texts is a null BSTR: the entry then
// answers vardInvalidParameter before anything is converted or called.
template <class... Texts>
bool Missing(Texts... texts) {
  return ((texts == nullptr) || ...);
}

// The Automation Boolean of a plain export's 16-bit truth value.
constexpr VARIANT_BOOL Truth(short value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// A BSTR argument as ANSI text in a buffer of N bytes; a null BSTR reads as
// the empty text, a longer text is cut as the wide exports cut it.
template <int N>
using TextIn = link::AnsiText<N>;

// A heap buffer for one of the large texts (the collection comment, the DDE
// texts, the expansion's input and output); it starts empty. Null when
// memory runs out. Keep its owner outside the entry's guard, so that it is
// freed on every path.
inline std::unique_ptr<char[]> HeapText(std::size_t bytes) {
  std::unique_ptr<char[]> text(new (std::nothrow) char[bytes]);
  if (text) text[0] = '\0';
  return text;
}

// The wide name list of GetVariablesInPathTLB and
// GetMultipleVariableNamesTLB: `fill(list, size)` has the wide export write
// into a cleared heap buffer of kNameListChars characters, and the names
// become a BSTR array in the client's `out`. The result is fill's, or
// vardOutOfMemory when the buffer or the array cannot be had (the buffer:
// nothing is called and `out` is not written).
inline constexpr short kNameListChars = 24576;

template <class Fill>
long NameListEntry(SAFEARRAY** out, Fill&& fill) {
  const std::unique_ptr<wchar_t[]> list(new (std::nothrow) wchar_t[kNameListChars]());
  if (!list) return vardOutOfMemory;
  return Entry([&]() -> long {
    const long result = fill(list.get(), kNameListChars);
    if (!WideListToSafeArray(list.get(), kNameListChars, out)) return vardOutOfMemory;
    return result;
  });
}

}  // namespace vard::automation
