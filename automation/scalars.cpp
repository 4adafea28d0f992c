// Automation entries of the numeric and string variables.
#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;

extern "C" {

long __stdcall GetStringTLB(BSTR Name, BSTR* String) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    ResultText<256> text;
    const short code = GetString(TextIn<30>(Name), text, sizeof text.text);
    *String = text.Bstr();
    return code;
  });
}

long __stdcall CreateStringTLB(BSTR Name, BSTR String, BSTR Path) {
  return Entry([&]() -> long {
    if (Missing(Name, Path)) return vardInvalidParameter;
    return CreateString(TextIn<30>(Name), TextIn<256>(String), TextIn<144>(Path));
  });
}

long __stdcall SetStringTLB(BSTR Name, BSTR String) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return SetString(TextIn<30>(Name), TextIn<256>(String));
  });
}

long __stdcall GetNumberTLB(BSTR Name, double* Value) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return GetNumber(TextIn<30>(Name), Value);
  });
}

long __stdcall GetUnitsTLB(BSTR Name, BSTR* Units) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    ResultText<10> units;
    const short code = GetUnits(TextIn<30>(Name), units);
    *Units = units.Bstr();
    return code;
  });
}

long __stdcall CreateNumberTLB(BSTR Name, double Value, BSTR Units, BSTR Description, BSTR Path) {
  return Entry([&]() -> long {
    if (Missing(Name, Path)) return vardInvalidParameter;
    return CreateNumber(TextIn<30>(Name), Value, TextIn<10>(Units), TextIn<144>(Description),
                        TextIn<256>(Path));
  });
}

long __stdcall SetNumberTLB(BSTR Name, double NewValue) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return SetNumber(TextIn<30>(Name), NewValue);
  });
}

long __stdcall SetDescriptionTLB(BSTR Name, BSTR Description) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return SetDescription(TextIn<30>(Name), TextIn<144>(Description));
  });
}

long __stdcall SetUnitsTLB(BSTR Name, BSTR NewUnits) {
  return Entry([&]() -> long {
    if (Missing(Name)) return vardInvalidParameter;
    return SetUnits(TextIn<30>(Name), TextIn<10>(NewUnits));
  });
}

}  // extern "C"
