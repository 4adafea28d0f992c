// Automation entries of the variable queries and deletion: GetTypeTLB,
// GetDescriptionTLB, DeleteVariableTLB, DeleteSubTreeTLB and the two
// waveform tests.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

namespace {

// The waveform tests answer false for a missing name, without a call.
VARIANT_BOOL AskTruth(BSTR VarName, short(__stdcall* test)(LPCSTR)) {
  return static_cast<VARIANT_BOOL>(Entry(
      [&]() -> long {
        if (Missing(VarName)) return VARIANT_FALSE;
        return Truth(test(TextIn<30>(VarName)));
      },
      VARIANT_FALSE));
}

}  // namespace

extern "C" {

long __stdcall GetTypeTLB(BSTR Name, long* Type) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    TextIn<40> name(Name);
    short type = vardUnknown;  // what the client sees when GetType cannot answer
    const short code = GetType(name, &type);
    *Type = type;
    return code;
  });
}

long __stdcall GetDescriptionTLB(BSTR Name, BSTR* Description) {
  return Entry([&]() -> long {
    TextIn<30> name(Name);  // a null name asks for the empty name
    ResultText<144> description;
    const short code = GetDescription(name, description, sizeof description.text);
    *Description = description.Bstr();
    return code;
  });
}

long __stdcall DeleteVariableTLB(BSTR Name) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return DeleteVariable(TextIn<30>(Name));
  });
}

long __stdcall DeleteSubTreeTLB(BSTR NavigatorPathName) {
  return Entry([&]() -> long {
    if (Missing(NavigatorPathName)) return vardInvalidParameter;
    return DeleteSubTree(TextIn<170>(NavigatorPathName));
  });
}

VARIANT_BOOL __stdcall vardIsDigitalWaveformTLB(BSTR VarName) {
  return AskTruth(VarName, vardIsDigitalWaveform);
}

VARIANT_BOOL __stdcall vardIsIntegerWaveformTLB(BSTR VarName) {
  return AskTruth(VarName, vardIsIntegerWaveform);
}

}  // extern "C"
