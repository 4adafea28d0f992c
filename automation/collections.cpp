// Automation entries of the collections. The wide forms convert with the
// entries' buffer sizes (PathName 256, the comment into a 4096-byte heap
// buffer, which answers vardBufferToSmall when it cannot be had, names and
// Prefix 30), so each entry is its check of the required texts followed by
// the wide form, whose own guard answers a fault. Codes are vardCollError
// values, sign-extended.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

extern "C" {

long __stdcall CreateCollectionTLB(BSTR PathName, BSTR Comment, short* Coll) {
  if (Missing(PathName)) return vardCollInvalidParameter;
  return CreateCollectionW(PathName, Comment, Coll);
}

long __stdcall AddToCollectionTLB(short Coll, BSTR VarName, BSTR Name, long Options) {
  if (Missing(VarName)) return vardCollInvalidParameter;
  return AddToCollectionW(Coll, VarName, Name, static_cast<short>(Options));
}

long __stdcall CloseCollectionTLB(short Coll) { return CloseCollection(Coll); }

long __stdcall LoadCollectionTLB(BSTR PathName, BSTR Prefix) {
  if (Missing(PathName)) return vardCollInvalidParameter;
  return LoadCollectionW(PathName, Prefix);
}

}  // extern "C"
