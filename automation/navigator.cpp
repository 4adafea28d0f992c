// Automation entries of the Variable Navigator. WndParent is a window
// handle carried in an Automation INT; window handles keep their meaning in
// 32 bits, so it is sign-extended into a handle.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

namespace {

HWND Window(int WndParent) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(WndParent)); }

}  // namespace

extern "C" {

// The chosen name; the empty BSTR when the user cancels or the call fails.
BSTR __stdcall GetVariableNameTLB(int WndParent, long Filter) {
  ResultText<40> name;
  GetVariableName(Window(WndParent), Filter, name);
  return name.Bstr();
}

// The chosen names as a BSTR array (none when the user cancels); 0.
long __stdcall GetMultipleVariableNamesTLB(int WndParent, long Filter, SAFEARRAY** VariableNames) {
  return NameListEntry(VariableNames, [&](wchar_t* list, short size) -> long {
    GetMultipleVariableNamesW(Window(WndParent), Filter, list, size);
    return 0;
  });
}

}  // extern "C"
