// An Automation client against the real server. After regsvr32 it knows
// nothing but the registered type library: it finds each function of the
// module by name, checks its VARIANT arguments against the declaration and
// calls the function's DLL entry through DispCallFunc, as a scripting host
// does. Texts travel as BSTRs, samples as SAFEARRAYs, codes as 32 bits.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>  // after windows.h

#include <cstring>
#include <string>
#include <vector>

#include "automation/typelib_table.h"
#include "include/vard_enums.h"
#include "tests/windows/peer.h"

namespace {

// The VARIANT type in which a client passes a value of a declared type:
// out-parameters by reference, arrays as VT_ARRAY, the enumerations as I4.
VARTYPE Passed(const TYPEDESC& t) {
  switch (t.vt) {
    case VT_PTR:
      return VT_BYREF | Passed(*t.lptdesc);
    case VT_SAFEARRAY:
      return VT_ARRAY | Passed(*t.lptdesc);
    case VT_USERDEFINED:
      return VT_I4;
    case VT_VOID:
      return VT_EMPTY;
    default:
      return t.vt;
  }
}

// A VARIANT whose unused bytes are 0: DispCallFunc pushes 32 bits of an I2.
template <class T>
VARIANT Arg(VARTYPE vt, T value) {
  VARIANT v{};
  V_VT(&v) = vt;
  std::memcpy(&V_I4(&v), &value, sizeof value);
  return v;
}
VARIANT I2(short value) { return Arg(VT_I2, value); }
VARIANT I4(long value) { return Arg(VT_I4, value); }
VARIANT R8(double value) { return Arg(VT_R8, value); }
template <class T>
VARIANT Out(VARTYPE vt, T* place) {
  return Arg(static_cast<VARTYPE>(VT_BYREF | vt), place);
}

std::wstring Taken(BSTR s) {
  std::wstring out(s, SysStringLen(s));
  SysFreeString(s);
  return out;
}

class AutomationClient : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto& g = vard::tlb::table::kLibrary.guid;
    libid_ = GUID{g.data1, g.data2, g.data3, {}};
    std::copy(g.data4, g.data4 + 8, libid_.Data4);
    ASSERT_EQ(vard::test::RegisterLibrary(), 0u);
    ASSERT_EQ(LoadRegTypeLib(libid_, 4, 0, 0x409, &lib_), S_OK);
    Call(L"InitDataManager", {});
  }
  void TearDown() override {
    if (!lib_) return;
    Call(L"DeleteSubTree", {S(L"automation")});
    Call(L"ExitDataManager", {});
    lib_->Release();
    for (BSTR s : texts_) SysFreeString(s);
    UnRegisterTypeLib(libid_, 4, 0, 0x409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  }
  VARIANT S(const wchar_t* text) { return Arg(VT_BSTR, texts_.emplace_back(SysAllocString(text))); }

  // Calls the module function `name` after checking each argument against
  // its declared type; the result as the declaration types it.
  VARIANT Call(const wchar_t* name, std::vector<VARIANT> args) {
    VARIANT result{};
    ITypeInfo* info = nullptr;
    ITypeInfo2* info2 = nullptr;
    MEMBERID id = 0;
    USHORT found = 1;
    std::wstring text(name);
    EXPECT_EQ(lib_->FindName(text.data(), 0, &info, &id, &found), S_OK);
    if (found != 1 || info->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2))) {
      ADD_FAILURE() << "no function " << found;
      return result;
    }
    UINT index = 0;
    FUNCDESC* f = nullptr;
    void* entry = nullptr;
    info2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index);
    EXPECT_EQ(info->GetFuncDesc(index, &f), S_OK);
    EXPECT_EQ(info->AddressOfMember(id, INVOKE_FUNC, &entry), S_OK);
    EXPECT_EQ(static_cast<std::size_t>(f->cParams), args.size());
    std::vector<VARTYPE> types;
    std::vector<VARIANT*> pointers;
    for (std::size_t i = 0; i < args.size() && i < static_cast<std::size_t>(f->cParams); ++i) {
      EXPECT_EQ(V_VT(&args[i]), Passed(f->lprgelemdescParam[i].tdesc)) << "argument " << i;
      types.push_back(V_VT(&args[i]));
      pointers.push_back(&args[i]);
    }
    EXPECT_EQ(DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(entry), f->callconv,
                           Passed(f->elemdescFunc.tdesc), static_cast<UINT>(types.size()),
                           types.data(), pointers.data(), &result),
              S_OK);
    info->ReleaseFuncDesc(f);
    info2->Release();
    info->Release();
    return result;
  }
  long Code(const wchar_t* name, std::vector<VARIANT> args) {
    const VARIANT v = Call(name, std::move(args));
    EXPECT_EQ(V_VT(&v), VT_I4) << "no 32-bit code";
    return V_I4(&v);
  }

  GUID libid_{};
  ITypeLib* lib_ = nullptr;
  std::vector<BSTR> texts_;
};

TEST_F(AutomationClient, TextsRoundTrip) {
  const std::wstring text = L"h\u00e9llo w\u00f6rld";
  EXPECT_EQ(Code(L"CreateString", {S(L"auto_s"), S(text.c_str()), S(L"automation")}), vardOK);
  BSTR back = nullptr;
  EXPECT_EQ(Code(L"GetString", {S(L"auto_s"), Out(VT_BSTR, &back)}), vardOK);
  EXPECT_EQ(Taken(back), text);
  const VARIANT expanded = Call(L"ExpandTextEx", {S(L"<{auto_s}>")});
  ASSERT_EQ(V_VT(&expanded), VT_BSTR);
  EXPECT_EQ(Taken(V_BSTR(&expanded)), L"<" + text + L">");
  long type = 0;
  EXPECT_EQ(Code(L"GetType", {S(L"auto_s"), Out(VT_I4, &type)}), vardOK);
  EXPECT_EQ(type, vardString);
  SAFEARRAY* names = nullptr;
  EXPECT_EQ(Code(L"GetVariablesInPath",
                 {S(L"automation"), I4(vardNavigateAll), Out(VT_ARRAY | VT_BSTR, &names)}),
            vardOK);
  ASSERT_NE(names, nullptr);
  ASSERT_EQ(names->rgsabound[0].cElements, 1u);
  EXPECT_EQ(Taken(SysAllocString(static_cast<BSTR*>(names->pvData)[0])), L"auto_s");
  SafeArrayDestroy(names);
  EXPECT_EQ(Code(L"DeleteVariable", {S(L"auto_none")}), vardNoSuchObject);
  Call(L"ExitDataManager", {});
  EXPECT_EQ(Code(L"GetType", {S(L"auto_s"), Out(VT_I4, &type)}), vardNotInitialized);
  Call(L"InitDataManager", {});
}

TEST_F(AutomationClient, SamplesRoundTrip) {
  short w = 0;
  ASSERT_EQ(Code(L"CreateWaveform", {S(L"auto_w"), I4(vardFloat), S(L"automation")}), vardOK);
  ASSERT_EQ(Code(L"OpenWaveform", {S(L"auto_w"), Out(VT_I2, &w)}), vardOK);
  EXPECT_EQ(Code(L"WriteHorizontal", {I2(w), R8(0), R8(1), S(L"s")}), vardOK);
  SAFEARRAY* samples = SafeArrayCreateVector(VT_R4, 1, 100);
  for (int i = 0; i < 100; ++i) static_cast<float*>(samples->pvData)[i] = i / 10.0f;  // 0 .. 9.9
  SAFEARRAY *floats = nullptr, *shorts = nullptr;
  EXPECT_EQ(Code(L"WriteWaveformFloat", {I2(w), I4(0), I4(99), Out(VT_ARRAY | VT_R4, &samples)}),
            vardOK);
  EXPECT_EQ(Code(L"ReadWaveformFloat", {I2(w), I4(0), I4(99), Out(VT_ARRAY | VT_R4, &floats)}),
            vardOK);
  ASSERT_NE(floats, nullptr);
  EXPECT_EQ(std::memcmp(floats->pvData, samples->pvData, 400), 0);
  EXPECT_EQ(Code(L"ReadWaveformShort", {I2(w), I4(0), I4(99), Out(VT_ARRAY | VT_I2, &shorts)}),
            vardInvalidParameter);  // float samples do not fit 2-byte elements
  EXPECT_EQ(Code(L"CloseWaveform", {I2(w)}), vardOK);

  // Ten bins over [0, 10]: ten samples each, none outside.
  SAFEARRAY* histogram = nullptr;
  EXPECT_EQ(Code(L"WaveformHistogram", {S(L"auto_w"), I2(0), R8(0), R8(99), R8(10), R8(0), I2(10),
                                        Out(VT_ARRAY | VT_I4, &histogram)}),
            vardOK);
  ASSERT_NE(histogram, nullptr);
  ASSERT_EQ(histogram->rgsabound[0].cElements, 12u);
  const auto* counts = static_cast<const long*>(histogram->pvData);
  EXPECT_EQ(std::vector<long>(counts, counts + 12),
            (std::vector<long>{0, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 0}));
  for (SAFEARRAY* a : {samples, floats, shorts, histogram}) SafeArrayDestroy(a);
}

}  // namespace
