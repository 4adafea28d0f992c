// Automation entries of the formula database and text expansion. Every text
// of a formula is optional; the wide forms convert them into the buffers the
// entries use (30, 160, 10, 144 bytes), so the entries hand their BSTRs on.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

namespace {

constexpr int kExpandInput = 8192;
constexpr int kExpandOutput = 24576;

}  // namespace

extern "C" {

// The row filled, or the code, sign-extended.
long __stdcall AddFormulaTLB(BSTR Name, BSTR Formula, BSTR Units, BSTR Description) {
  return AddFormulaW(Name, Formula, Units, Description);
}

long __stdcall SetFormulaTLB(short Row, BSTR Name, BSTR Formula, BSTR Units, BSTR Description) {
  return SetFormulaW(Row, Name, Formula, Units, Description);
}

long __stdcall DeleteFormulaTLB(short Row) { return DeleteFormula(Row); }

// True for any non-zero answer: the frame's own codes (1000, 1001) included.
VARIANT_BOOL __stdcall ShowFormulaEditorTLB() { return Truth(ShowFormulaEditor()); }

// The expansion of InputText as a new BSTR, never a null one. A null text
// sends nothing and gives the empty BSTR; so do heap buffers that cannot be
// had. The buffers' owners live outside the guard, so they are freed on
// every path.
BSTR __stdcall ExpandTextExTLB(BSTR InputText) {
  const std::unique_ptr<char[]> input = HeapText(kExpandInput);
  const std::unique_ptr<char[]> output = HeapText(kExpandOutput);
  if (!input || !output) return AnsiToBstr("");
  Entry([&]() -> long {
    if (InputText) {
      vard::link::WideToAnsi(InputText, input.get(), kExpandInput);
      ExpandTextEx(input.get(), output.get(), kExpandOutput - 1);
    }
    return vardOK;
  });
  return AnsiToBstr(output.get());
}

}  // extern "C"
