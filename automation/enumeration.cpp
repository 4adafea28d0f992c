// Automation entries of the variable enumeration: GetVariablesInPathTLB and
// the find sequence. A find that gives no name (handle 0, or any code but
// vardOK) hands back two quotation marks in both texts.
#include "automation/entry.h"
#include "include/vard32.h"
#include "include/vard_protocol.h"

using namespace vard::automation;

namespace {

// The find exports copy each reply field whole, up to its width: the
// buffers are as wide as the fields, so no reply can run past them.
using NameText = ResultText<32>;
using PathText = ResultText<sizeof(vard::proto::EnumerationRequest::Path)>;

// Stores the found texts, or the two quotation marks when nothing was found.
void Deliver(bool found, const NameText& name, const PathText& path, BSTR* VarName, BSTR* Path) {
  *VarName = found ? name.Bstr() : TwoQuotes();
  *Path = found ? path.Bstr() : TwoQuotes();
}

}  // namespace

extern "C" {

// The prefix goes on as a wide text (null stays null: the empty prefix);
// the code is GetVariablesInPathW's. The size argument is read as bytes,
// so at most 12287 characters of names reach the array.
long __stdcall GetVariablesInPathTLB(BSTR PathPrefix, long Filter, SAFEARRAY** Result) {
  return NameListEntry(Result, [&](wchar_t* list, short size) -> long {
    return GetVariablesInPathW(PathPrefix, static_cast<short>(Filter), list, size);
  });
}

// The find handle, unchanged. When the texts cannot be stored the handle is
// closed again and the entry answers 0, as a find that found nothing.
long __stdcall FindFirstVariableTLB(long Filter, BSTR* VarName, BSTR* Path) {
  long handle = 0;
  const long result = Entry(
      [&]() -> long {
        NameText name;
        PathText path;
        handle = FindFirstVariable(static_cast<short>(Filter), name, path);
        Deliver(handle != 0, name, path, VarName, Path);
        return handle;
      },
      0L);
  if (result == 0 && handle != 0) FindVariableClose(handle);
  return result;
}

long __stdcall FindNextVariableTLB(long FindHandle, BSTR* VarName, BSTR* Path) {
  return Entry([&]() -> long {
    NameText name;
    PathText path;
    const short code = FindNextVariable(FindHandle, name, path);
    Deliver(code == vardOK, name, path, VarName, Path);
    return code;
  });
}

void __stdcall FindVariableCloseTLB(long FindHandle) { FindVariableClose(FindHandle); }

}  // extern "C"
