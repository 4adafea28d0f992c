// The type library as the platform reads it back from VARD32.dll, compared
// with its description table; and its registration through regsvr32.
#include <gtest/gtest.h>
#include <windows.h>

#include <oleauto.h>  // after windows.h

#include <string>

#include "automation/typelib_table.h"
#include "tests/windows/peer.h"

namespace tlb = vard::tlb;
using tlb::table::kLibrary;

namespace {

// The library embeds the type library of its own platform; the build also
// writes the other one as a file beside the tests.
constexpr bool kSixtyFour = sizeof(void*) == 8;
constexpr SYSKIND kOwnKind = kSixtyFour ? SYS_WIN64 : SYS_WIN32;
constexpr SYSKIND kOtherKind = kSixtyFour ? SYS_WIN32 : SYS_WIN64;

std::wstring Folder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

std::string Narrow(BSTR s) {
  std::string out;
  for (UINT i = 0; s && i < SysStringLen(s); ++i) out += static_cast<char>(s[i]);
  SysFreeString(s);
  return out;
}

GUID ToGuid(const tlb::Guid& g) {
  GUID out{g.data1, g.data2, g.data3, {}};
  std::copy(g.data4, g.data4 + 8, out.Data4);
  return out;
}

struct Doc {
  std::string name, doc, help_file;
  DWORD help_context = 0;
};

template <class Source>
Doc Documentation(Source* source, MEMBERID id) {
  BSTR name = nullptr, doc = nullptr, file = nullptr;
  Doc d;
  EXPECT_EQ(source->GetDocumentation(id, &name, &doc, &d.help_context, &file), S_OK);
  d.name = Narrow(name);
  d.doc = Narrow(doc);
  d.help_file = Narrow(file);
  return d;
}

// A type as text, e.g. PTR(SAFEARRAY(I2)) or PTR(vardVarType).
std::string Spell(ITypeInfo* info, const TYPEDESC& t) {
  switch (t.vt) {
    case VT_PTR:
      return "PTR(" + Spell(info, *t.lptdesc) + ")";
    case VT_SAFEARRAY:
      return "SAFEARRAY(" + Spell(info, *t.lptdesc) + ")";
    case VT_USERDEFINED: {
      ITypeInfo* ref = nullptr;
      if (info->GetRefTypeInfo(t.hreftype, &ref) != S_OK) return "bad reference";
      const std::string name = Documentation(ref, MEMBERID_NIL).name;
      ref->Release();
      return name;
    }
    case VT_I2:
      return "I2";
    case VT_I4:
      return "I4";
    case VT_INT:
      return "INT";
    case VT_R4:
      return "R4";
    case VT_R8:
      return "R8";
    case VT_BOOL:
      return "BOOL";
    case VT_BSTR:
      return "BSTR";
    case VT_VOID:
      return "VOID";
    default:
      return "vt " + std::to_string(t.vt);
  }
}

std::string Spell(const tlb::Type& t, bool by_ref) {
  static const char* const kNames[] = {"VOID", "I2", "I4", "INT", "R4", "R8", "BOOL", "BSTR"};
  std::string s = t.base == tlb::Base::Enum ? t.enumeration : kNames[static_cast<int>(t.base)];
  if (t.array) s = "SAFEARRAY(" + s + ")";
  return by_ref || t.array ? "PTR(" + s + ")" : s;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void Load(const std::wstring& file) {
    ASSERT_EQ(LoadTypeLib((Folder() + file).c_str(), &lib_), S_OK);
  }
  void TearDown() override {
    if (lib_) lib_->Release();
  }

  void ExpectLibrary(SYSKIND syskind) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, ToGuid(kLibrary.guid)));
    EXPECT_EQ(attr->lcid, kLibrary.lcid);
    EXPECT_EQ(attr->syskind, syskind);
    EXPECT_EQ(attr->wMajorVerNum, kLibrary.major);
    EXPECT_EQ(attr->wMinorVerNum, kLibrary.minor);
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    lib_->ReleaseTLibAttr(attr);
    const Doc d = Documentation(lib_, MEMBERID_NIL);
    EXPECT_EQ(d.name, kLibrary.name);
    EXPECT_EQ(d.doc, kLibrary.doc);
    EXPECT_EQ(d.help_file, kLibrary.help_file);
    EXPECT_EQ(d.help_context, static_cast<DWORD>(kLibrary.help_context));
    EXPECT_EQ(lib_->GetTypeInfoCount(), static_cast<UINT>(kLibrary.enumeration_count + 1));
  }

  void ExpectEnumerations() {
    for (int i = 0; i < kLibrary.enumeration_count; ++i) {
      const tlb::Enumeration& e = kLibrary.enumerations[i];
      SCOPED_TRACE(e.name);
      ITypeInfo* info = nullptr;
      ASSERT_EQ(lib_->GetTypeInfo(i, &info), S_OK);
      const Doc d = Documentation(lib_, i);
      EXPECT_EQ(d.name, e.name);
      EXPECT_EQ(d.doc, e.doc);
      EXPECT_EQ(d.help_context, static_cast<DWORD>(e.help_context));
      TYPEATTR* attr = nullptr;
      ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
      EXPECT_EQ(attr->typekind, TKIND_ENUM);
      EXPECT_TRUE(IsEqualGUID(attr->guid, GUID_NULL));
      EXPECT_EQ(attr->cbSizeInstance, 4u);
      EXPECT_EQ(attr->cFuncs, 0);
      ASSERT_EQ(attr->cVars, tlb::ConstantCount(e));
      for (int v = 0; v < attr->cVars; ++v) {
        const tlb::Constant& c = e.constants[v];
        VARDESC* var = nullptr;
        ASSERT_EQ(info->GetVarDesc(v, &var), S_OK);
        EXPECT_EQ(var->varkind, VAR_CONST);
        EXPECT_EQ(var->elemdescVar.tdesc.vt, VT_INT);
        EXPECT_EQ(V_VT(var->lpvarValue), VT_I4);
        EXPECT_EQ(V_I4(var->lpvarValue), c.value) << c.name;
        const Doc cd = Documentation(info, var->memid);
        EXPECT_EQ(cd.name, c.name);
        EXPECT_EQ(cd.doc, c.help_string ? c.help_string : "") << c.name;
        info->ReleaseVarDesc(var);
      }
      info->ReleaseTypeAttr(attr);
      info->Release();
    }
  }

  void ExpectModule() {
    const tlb::Module& m = kLibrary.module;
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib_->GetTypeInfo(kLibrary.enumeration_count, &info), S_OK);
    const Doc d = Documentation(lib_, kLibrary.enumeration_count);
    EXPECT_EQ(d.name, m.name);
    EXPECT_EQ(d.doc, m.doc);
    EXPECT_EQ(d.help_context, static_cast<DWORD>(m.help_context));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_MODULE);
    EXPECT_TRUE(IsEqualGUID(attr->guid, ToGuid(m.guid)));
    ASSERT_EQ(attr->cFuncs, kLibrary.function_count);
    info->ReleaseTypeAttr(attr);
    for (int i = 0; i < kLibrary.function_count; ++i) ExpectFunction(info, i);
    info->Release();
  }

  void ExpectFunction(ITypeInfo* info, int i) {
    const tlb::Function& f = kLibrary.functions[i];
    SCOPED_TRACE(f.name);
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &fd), S_OK);
    EXPECT_EQ(fd->memid, 0x60000000 + i);
    EXPECT_EQ(fd->funckind, FUNC_STATIC);
    EXPECT_EQ(fd->invkind, INVOKE_FUNC);
    EXPECT_EQ(fd->callconv, CC_STDCALL);
    EXPECT_EQ(fd->cParamsOpt, 0);
    EXPECT_EQ(fd->wFuncFlags, 0);
    EXPECT_EQ(Spell(info, fd->elemdescFunc.tdesc), Spell(f.result, false));
    const int n = tlb::ParamCount(f);
    ASSERT_EQ(fd->cParams, n);
    BSTR names[tlb::kMaxParams + 1] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(fd->memid, names, tlb::kMaxParams + 1, &count), S_OK);
    ASSERT_EQ(count, static_cast<UINT>(n + 1));
    EXPECT_EQ(Narrow(names[0]), f.name);
    for (int p = 0; p < n; ++p) {
      const tlb::Param& param = f.params[p];
      EXPECT_EQ(Narrow(names[p + 1]), param.name);
      const ELEMDESC& e = fd->lprgelemdescParam[p];
      EXPECT_EQ(Spell(info, e.tdesc), Spell(param.type, param.dir != tlb::Dir::In)) << param.name;
      const USHORT flags = (param.dir != tlb::Dir::Out ? PARAMFLAG_FIN : 0) |
                           (param.dir != tlb::Dir::In ? PARAMFLAG_FOUT : 0);
      EXPECT_EQ(e.paramdesc.wParamFlags, flags) << param.name;
    }
    BSTR dll = nullptr, entry = nullptr;
    WORD ordinal = 0;  // entries go by name: the platform decides what this holds
    ASSERT_EQ(info->GetDllEntry(fd->memid, INVOKE_FUNC, &dll, &entry, &ordinal), S_OK);
    EXPECT_EQ(Narrow(dll), kLibrary.module.dll_name);
    EXPECT_EQ(Narrow(entry), f.entry);
    const Doc d = Documentation(info, fd->memid);
    EXPECT_EQ(d.doc, f.help_string);
    EXPECT_EQ(d.help_context, static_cast<DWORD>(f.help_context));
    info->ReleaseFuncDesc(fd);
  }

  ITypeLib* lib_ = nullptr;
};

// Everything the table declares, as the platform reads the library embedded
// in VARD32.dll.
TEST_F(TypeLibrary, EmbeddedLibraryMatchesTheTable) {
  Load(L"VARD32.dll");
  ExpectLibrary(kOwnKind);
  ExpectEnumerations();
  ExpectModule();
}

// The library written for the other platform differs only in its platform.
TEST_F(TypeLibrary, OtherPlatformsLibraryMatchesTheTable) {
  Load(kSixtyFour ? L"VARD32_win32.tlb" : L"VARD32_win64.tlb");
  ExpectLibrary(kOtherKind);
  ExpectEnumerations();
  ExpectModule();
}

// regsvr32 registers the library under the path it was run on; running the
// registration again changes nothing; UnRegisterTypeLib (what a user runs to
// remove it) leaves no key behind.
TEST(Registration, RegistersAndIsRemovable) {
  const std::wstring dll = Folder() + L"VARD32.dll";
  ASSERT_EQ(vard::test::RegisterLibrary(), 0u);

  HMODULE module = LoadLibraryW(dll.c_str());
  ASSERT_NE(module, nullptr);
  // Through void (*)(): FARPROC returns a pointer-wide integer on x64.
  auto reg = reinterpret_cast<HRESULT(__stdcall*)()>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg(), S_OK);

  const GUID libid = ToGuid(kLibrary.guid);
  wchar_t guid[64];
  StringFromGUID2(libid, guid, 64);
  const std::wstring key =
      std::wstring(L"TypeLib\\") + guid + L"\\4.0\\409\\" + (kSixtyFour ? L"win64" : L"win32");
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof value;
  ASSERT_EQ(
      RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(lstrcmpiW(value, dll.c_str()), 0) << "registered for another file";

  EXPECT_EQ(UnRegisterTypeLib(libid, kLibrary.major, kLibrary.minor, kLibrary.lcid, kOwnKind),
            S_OK);
  HKEY gone = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"TypeLib\\") + guid).c_str(), 0,
                          KEY_READ, &gone),
            ERROR_SUCCESS);
  FreeLibrary(module);
}

}  // namespace
