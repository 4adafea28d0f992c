// The compiled type-library ("MSFT") format, as far as a library of
// enumerations and one module of functions needs it. docs/typelib.md gives
// the layout; the field names follow it.
#include "automation/typelib_writer.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vard::tlb {
namespace {

// Segments, in the order of the segment directory.
enum Segment {
  kTypeInfoTab,
  kImpInfo,
  kImpFiles,
  kRefTab,
  kGuidHashTab,
  kGuidTab,
  kNameHashTab,
  kNameTab,
  kStringTab,
  kTypeDescTab,
  kArrayDescTab,
  kCustData,
  kCustDataGuids,
  kReserved0E,
  kReserved0F,
  kSegmentCount
};
// The order in which the segments follow the directory in the file.
constexpr Segment kFileOrder[] = {
    kTypeInfoTab, kGuidHashTab, kGuidTab,     kRefTab,       kImpInfo,  kImpFiles,     kNameHashTab,
    kNameTab,     kStringTab,   kTypeDescTab, kArrayDescTab, kCustData, kCustDataGuids};

constexpr std::int32_t kHeaderSize = 0x54;
constexpr std::int32_t kSegDirSize = kSegmentCount * 16;
constexpr std::int32_t kTypeInfoSize = 0x64;
constexpr std::int32_t kGuidHashSize = 0x80;   // 32 buckets
constexpr std::int32_t kNameHashSize = 0x200;  // 128 buckets
constexpr std::uint8_t kPad = 0x57;

// VARTYPE values and flags.
enum : std::uint16_t {
  kVtEmpty = 0,
  kVtI2 = 2,
  kVtI4 = 3,
  kVtR4 = 4,
  kVtR8 = 5,
  kVtBstr = 8,
  kVtBool = 11,
  kVtInt = 22,
  kVtVoid = 24,
  kVtPtr = 26,
  kVtSafeArray = 27,
  kVtUserDefined = 29,
  kVtArray = 0x2000,
  kVtByRef = 0x4000,
  kVtTypeMask = 0x0FFF
};
enum : std::int32_t { kTkindEnum = 0, kTkindModule = 2 };
enum : std::int32_t { kFuncStatic = 3, kInvokeFunc = 1, kCcStdcall = 4, kVarConst = 2 };
enum : std::int32_t { kParamIn = 1, kParamOut = 2 };
// Flags in the second byte of a name's length word.
enum : std::uint8_t { kNameTypeInfo = 0x38, kNameFirstUse = 0x10, kNameMember = 0x20 };
// Sizes of the structures the platform rebuilds from a record (FUNCDESC,
// VARDESC, ELEMDESC, TYPEDESC, VARIANT): the records carry them as hints.
constexpr std::int32_t kFuncDescSize = 52, kVarDescSize = 36, kElemDescSize = 16, kTypeDescSize = 8,
                       kVariantSize = 16;

void Fail(const std::string& why) { throw std::invalid_argument(why); }

void PutInt(std::vector<std::uint8_t>& out, std::int32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}
void PutShort(std::vector<std::uint8_t>& out, std::int32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> 8));
}
void SetInt(std::vector<std::uint8_t>& out, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}
std::int32_t GetInt(const std::vector<std::uint8_t>& in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{in[at + i]} << (8 * i);
  return static_cast<std::int32_t>(v);
}
void PadTo4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4) out.push_back(kPad);
}

bool IsIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// One type description: its record in the type-info segment, and the member
// records and tables that its memoffset points to.
struct TypeInfo {
  std::int32_t typekind = 0;
  std::int32_t res2 = 0, res3 = -1;
  std::int32_t elements = 0;  // functions in the low word, variables in the high word
  std::int32_t posguid = -1;
  std::int32_t name = -1;
  std::int32_t docstring = -1;
  std::int32_t help_context = 0;
  std::int32_t size = 0;
  std::int32_t datatype1 = -1;
  std::vector<std::int32_t> records;  // member records, word by word
  std::vector<std::int32_t> ids, names, offsets;
};

class Writer {
 public:
  Writer(const Library& library, SysKind kind) : lib_(library), kind_(kind) {
    seg_[kGuidHashTab].assign(kGuidHashSize, 0xFF);
    seg_[kNameHashTab].assign(kNameHashSize, 0xFF);
  }

  std::vector<std::uint8_t> Write() {
    if (lib_.enumeration_count < 0 || lib_.function_count < 0) Fail("negative count");
    const std::int32_t lib_name = Name(lib_.name);
    const std::int32_t lib_guid = AddGuid(lib_.guid, -2);
    const std::int32_t lib_doc = String(lib_.doc);
    const std::int32_t help_file = String(lib_.help_file);
    infos_.resize(static_cast<std::size_t>(lib_.enumeration_count) + 1);
    for (int i = 0; i < lib_.enumeration_count; ++i) AddEnumeration(i);
    AddModule(lib_.enumeration_count);
    return Assemble(lib_name, lib_guid, lib_doc, help_file);
  }

 private:
  static std::int32_t InfoOffset(int index) { return index * kTypeInfoSize; }

  // Names: deduplicated without regard to case, chained by hash.
  std::int32_t Name(const char* text) {
    if (!text || !IsIdentifier(text)) Fail(std::string("not a name: ") + (text ? text : "(null)"));
    const std::string_view name(text);
    for (const auto& [offset, known] : names_) {
      if (SameName(known, name)) return offset;
    }
    auto& seg = seg_[kNameTab];
    const std::int32_t offset = static_cast<std::int32_t>(seg.size());
    const std::uint32_t hash = NameHash(kind_, text) & 0xFFFF;
    const std::size_t bucket = (hash & 0x7F) * 4;
    PutInt(seg, -1);                                  // hreftype: none yet
    PutInt(seg, GetInt(seg_[kNameHashTab], bucket));  // next in the bucket
    PutInt(seg, static_cast<std::int32_t>(name.size() | (hash << 16)));
    seg.insert(seg.end(), name.begin(), name.end());
    PadTo4(seg);
    SetInt(seg_[kNameHashTab], bucket, offset);
    names_.emplace_back(offset, std::string(name));
    name_chars_ += static_cast<std::int32_t>(name.size());
    return offset;
  }

  // Marks a name as naming a member of the type at `info_offset`.
  void MarkMember(std::int32_t name, std::int32_t info_offset) {
    auto& seg = seg_[kNameTab];
    std::uint8_t& flags = seg[static_cast<std::size_t>(name) + 9];
    if (GetInt(seg, static_cast<std::size_t>(name)) == -1) {
      SetInt(seg, static_cast<std::size_t>(name), info_offset);
      flags |= kNameFirstUse;
    } else {
      flags &= static_cast<std::uint8_t>(~kNameFirstUse);
    }
    flags |= kNameMember;
  }

  void MarkTypeInfo(std::int32_t name, std::int32_t info_offset) {
    auto& seg = seg_[kNameTab];
    SetInt(seg, static_cast<std::size_t>(name), info_offset);
    seg[static_cast<std::size_t>(name) + 9] = kNameTypeInfo;
  }

  // Texts: a 16-bit length, the bytes, padding to 4 and to at least 8.
  std::int32_t String(const char* text) {
    if (!text) Fail("null text");
    const std::string_view s(text);
    if (s.size() > 0x7FF0) Fail("text too long");
    for (const auto& [offset, known] : strings_) {
      if (known == s) return offset;
    }
    auto& seg = seg_[kStringTab];
    const std::int32_t offset = static_cast<std::int32_t>(seg.size());
    PutShort(seg, static_cast<std::int32_t>(s.size()));
    seg.insert(seg.end(), s.begin(), s.end());
    PadTo4(seg);
    while (seg.size() - static_cast<std::size_t>(offset) < 8) seg.push_back(kPad);
    strings_.emplace_back(offset, std::string(s));
    return offset;
  }

  std::int32_t AddGuid(const Guid& g, std::int32_t hreftype) {
    std::uint8_t bytes[16];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(g.data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<std::uint8_t>(g.data2 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<std::uint8_t>(g.data3 >> (8 * i));
    std::memcpy(bytes + 8, g.data4, 8);
    // The bucket: the eight 16-bit words of the GUID xor-ed, low 5 bits.
    std::uint32_t hash = 0;
    for (int i = 0; i < 8; ++i) hash ^= bytes[2 * i] | (std::uint32_t{bytes[2 * i + 1]} << 8);
    const std::size_t bucket = (hash & 0x1F) * 4;
    auto& seg = seg_[kGuidTab];
    const std::int32_t offset = static_cast<std::int32_t>(seg.size());
    seg.insert(seg.end(), bytes, bytes + 16);
    PutInt(seg, hreftype);
    PutInt(seg, GetInt(seg_[kGuidHashTab], bucket));
    SetInt(seg_[kGuidHashTab], bucket, offset);
    return offset;
  }

  // A built-in type is encoded in place: the high bit, the type in the low
  // word and its size class in the high word.
  static std::int32_t Builtin(std::uint16_t vt, std::uint16_t size_class) {
    return static_cast<std::int32_t>(0x80000000u | (std::uint32_t{size_class} << 16) | vt);
  }

  static std::int32_t BaseCode(Base base) {
    switch (base) {
      case Base::Void:
        return Builtin(kVtVoid, kVtEmpty);
      case Base::I2:
        return Builtin(kVtI2, kVtI2);
      case Base::I4:
        return Builtin(kVtI4, kVtI4);
      case Base::Int:
        return Builtin(kVtInt, kVtI4);
      case Base::R4:
        return Builtin(kVtR4, kVtR4);
      case Base::R8:
        return Builtin(kVtR8, kVtR8);
      case Base::Bool:
        return Builtin(kVtBool, kVtBool);
      case Base::Bstr:
        return Builtin(kVtBstr, kVtBstr);
      case Base::Enum:
        break;
    }
    Fail("no built-in code");
    return 0;
  }

  // A type-description entry (two words); equal entries are shared.
  std::int32_t TypeDesc(std::int32_t first, std::int32_t second) {
    auto& seg = seg_[kTypeDescTab];
    for (std::size_t at = 0; at < seg.size(); at += 8) {
      if (GetInt(seg, at) == first && GetInt(seg, at + 4) == second)
        return static_cast<std::int32_t>(at);
    }
    const std::int32_t offset = static_cast<std::int32_t>(seg.size());
    PutInt(seg, first);
    PutInt(seg, second);
    return offset;
  }

  // The high word of an entry that refers to `target`.
  std::int32_t ReferenceWord(std::int32_t target, std::uint16_t builtin_flag,
                             std::uint16_t builtin_mask) const {
    if (target < 0)
      return ((static_cast<std::uint32_t>(target) >> 16) & builtin_mask) | builtin_flag;
    const std::int32_t high =
        static_cast<std::uint32_t>(GetInt(seg_[kTypeDescTab], static_cast<std::size_t>(target))) >>
        16;
    return high == 0x7FFF ? 0x7FFF : 0x7FFE;
  }

  std::int32_t EnumIndex(const char* name) const {
    for (int i = 0; i < lib_.enumeration_count; ++i) {
      if (name && std::strcmp(lib_.enumerations[i].name, name) == 0) return i;
    }
    Fail(std::string("unknown enumeration: ") + (name ? name : "(null)"));
    return -1;
  }

  // Encodes a type, by reference when `by_ref`; `decoded` grows by the
  // TYPEDESCs the platform has to rebuild for it.
  std::int32_t Encode(const Type& type, bool by_ref, std::int32_t& decoded) {
    std::int32_t code;
    if (type.base == Base::Enum) {
      code = TypeDesc((0x7FFF << 16) | kVtUserDefined, InfoOffset(EnumIndex(type.enumeration)));
    } else {
      code = BaseCode(type.base);
    }
    if (type.array) {
      const std::int32_t word = ReferenceWord(code, kVtArray, kVtTypeMask);
      code = TypeDesc(
          static_cast<std::int32_t>((static_cast<std::uint32_t>(word) << 16) | kVtSafeArray), code);
      decoded += kTypeDescSize;
    }
    if (by_ref) {
      const std::int32_t word = ReferenceWord(code, kVtByRef, 0x3FFF);
      code = TypeDesc(static_cast<std::int32_t>((static_cast<std::uint32_t>(word) << 16) | kVtPtr),
                      code);
      decoded += kTypeDescSize;
    }
    return code;
  }

  // A constant's value: packed into the word when it fits 26 bits,
  // otherwise an offset into the custom-data segment.
  std::int32_t Value(std::int32_t value) {
    const std::uint32_t v = static_cast<std::uint32_t>(value);
    if ((v & 0x3FFFFFF) == v)
      return static_cast<std::int32_t>(0x80000000u | (std::uint32_t{kVtI4} << 26) | v);
    auto& seg = seg_[kCustData];
    const std::int32_t offset = static_cast<std::int32_t>(seg.size());
    PutShort(seg, kVtI4);
    PutInt(seg, value);
    PutShort(seg, kPad | (kPad << 8));
    return offset;
  }

  void AddEnumeration(int index) {
    const Enumeration& e = lib_.enumerations[index];
    TypeInfo& info = infos_[static_cast<std::size_t>(index)];
    const std::int32_t self = InfoOffset(index);
    info.name = Name(e.name);
    MarkTypeInfo(info.name, self);
    // Kind, a flag the platform always sets, and the alignment of 4 (in
    // two places).
    info.typekind = (index << 16) | kTkindEnum | 0x20 | (4 << 11) | (4 << 6);
    info.docstring = String(e.doc);
    info.help_context = e.help_context;
    info.size = 4;
    const int count = ConstantCount(e);
    if (count == 0) Fail(std::string("empty enumeration: ") + e.name);
    for (int i = 0; i < count; ++i) {
      const Constant& c = e.constants[i];
      std::int32_t decoded = 0;
      const std::int32_t size = c.help_string ? 0x1C : 0x14;
      info.offsets.push_back(static_cast<std::int32_t>(info.records.size() * 4));
      info.records.push_back(size | (i << 16));
      info.records.push_back(Encode(Type{Base::Int}, false, decoded));
      info.records.push_back(0);  // variable flags
      info.records.push_back(((kVarDescSize + decoded + kVariantSize) << 16) | kVarConst);
      info.records.push_back(Value(c.value));
      if (c.help_string) {
        info.records.push_back(0);  // help context
        info.records.push_back(String(c.help_string));
      }
      const std::int32_t name = Name(c.name);
      MarkMember(name, self);
      info.ids.push_back(0x40000000 + i);
      info.names.push_back(name);
      // Allocation hints, kept as the platform's own writer keeps them.
      if (info.res2 == 0) info.res2 = 0x1A;
      if (i == 0 || i == 1 || i == 2 || i == 4 || i == 9)
        info.res2 = static_cast<std::int32_t>(static_cast<std::uint32_t>(info.res2) << 1);
      if (info.res3 == -1) info.res3 = 0;
      info.res3 += 0x2C;
    }
    info.elements = count << 16;
  }

  void AddModule(int index) {
    const Module& m = lib_.module;
    TypeInfo& info = infos_[static_cast<std::size_t>(index)];
    const std::int32_t self = InfoOffset(index);
    info.name = Name(m.name);
    MarkTypeInfo(info.name, self);
    info.typekind = (index << 16) | kTkindModule | 0x20 | 0x0A00;
    info.posguid = AddGuid(m.guid, self);
    info.docstring = String(m.doc);
    info.help_context = m.help_context;
    info.datatype1 = String(m.dll_name);
    for (int i = 0; i < lib_.function_count; ++i) {
      const Function& f = lib_.functions[i];
      const int n = ParamCount(f);
      if (n == kMaxParams && f.params[kMaxParams - 1].name == nullptr) Fail("bad parameter list");
      const std::int32_t start = static_cast<std::int32_t>(info.records.size());
      info.offsets.push_back(start * 4);
      std::int32_t decoded = 0;
      info.records.push_back((0x18 + 3 * 4 + n * 12) | (i << 16));
      info.records.push_back(Encode(f.result, false, decoded));
      info.records.push_back(0);  // function flags
      info.records.push_back(0);  // vtable offset and FUNCDESC size: below
      info.records.push_back((i << 16) | (kCcStdcall << 8) | (kInvokeFunc << 3) | kFuncStatic);
      info.records.push_back(n);  // parameters; none optional
      info.records.push_back(f.help_context);
      info.records.push_back(String(f.help_string));
      info.records.push_back(String(f.entry));
      for (int p = 0; p < n; ++p) {
        const Param& param = f.params[p];
        const bool by_ref = param.dir != Dir::In || param.type.array;
        info.records.push_back(Encode(param.type, by_ref, decoded));
        info.records.push_back(-1);  // name: below
        info.records.push_back((param.dir == Dir::Out ? 0 : kParamIn) |
                               (param.dir == Dir::In ? 0 : kParamOut));
      }
      info.records[static_cast<std::size_t>(start) + 3] =
          (kFuncDescSize + decoded + kElemDescSize * n) << 16;
      const std::int32_t name = Name(f.name);
      MarkMember(name, self);
      for (int p = 0; p < n; ++p) {
        info.records[static_cast<std::size_t>(start) + 9 + 3 * p + 1] = Name(f.params[p].name);
      }
      info.ids.push_back(0x60000000 + i);
      info.names.push_back(name);
      if (info.res2 == 0) info.res2 = 0x20;
      info.res2 = static_cast<std::int32_t>(static_cast<std::uint32_t>(info.res2) << 1);
      if (i < 2) info.res2 += n << 4;
      if (info.res3 == -1) info.res3 = 0;
      info.res3 += 0x38 + n * 0x10;
    }
    info.elements = lib_.function_count;
    info.size = lib_.function_count;
  }

  std::vector<std::uint8_t> Assemble(std::int32_t lib_name, std::int32_t lib_guid,
                                     std::int32_t lib_doc, std::int32_t help_file) {
    const std::int32_t count = static_cast<std::int32_t>(infos_.size());
    for (const TypeInfo& info : infos_) WriteTypeInfo(info);

    std::int32_t offsets[kSegmentCount];
    for (auto& o : offsets) o = -1;
    std::int32_t pos = kHeaderSize + 4 * count + kSegDirSize;
    for (Segment s : kFileOrder) {
      if (!seg_[s].empty()) offsets[s] = pos;
      pos += static_cast<std::int32_t>(seg_[s].size());
    }
    // Each type's member data follows the segments: its length word, the
    // records, then member ids, name offsets and record offsets.
    std::size_t at = 0;
    for (TypeInfo& info : infos_) {
      SetInt(seg_[kTypeInfoTab], at + 4, pos);
      at += kTypeInfoSize;
      if (info.ids.empty()) continue;
      pos += 4 + static_cast<std::int32_t>(info.records.size() * 4 + info.ids.size() * 12);
    }

    std::vector<std::uint8_t> out;
    const std::int32_t syskind = static_cast<std::int32_t>(kind_);
    for (std::int32_t v : {0x5446534D,
                           0x00010002,
                           lib_guid,
                           static_cast<std::int32_t>(lib_.lcid),
                           static_cast<std::int32_t>(lib_.lcid),
                           0x40 | 0x10 | syskind,  // always set, help file named, platform
                           lib_.major | (lib_.minor << 16),
                           0,
                           count,
                           lib_doc,
                           0,
                           lib_.help_context,
                           static_cast<std::int32_t>(names_.size()),
                           name_chars_,
                           lib_name,
                           help_file,
                           -1,
                           0x20,
                           0x80,
                           -1,
                           0}) {
      PutInt(out, v);
    }
    for (std::int32_t i = 0; i < count; ++i) PutInt(out, InfoOffset(i));
    for (int s = 0; s < kSegmentCount; ++s) {
      PutInt(out, offsets[s]);
      PutInt(out, static_cast<std::int32_t>(seg_[s].size()));
      PutInt(out, -1);
      PutInt(out, 0x0F);
    }
    for (Segment s : kFileOrder) out.insert(out.end(), seg_[s].begin(), seg_[s].end());
    for (const TypeInfo& info : infos_) {
      if (info.ids.empty()) continue;
      PutInt(out, static_cast<std::int32_t>(info.records.size() * 4));
      for (auto* list : {&info.records, &info.ids, &info.names, &info.offsets}) {
        for (std::int32_t v : *list) PutInt(out, v);
      }
    }
    if (static_cast<std::int32_t>(out.size()) != pos) Fail("layout mismatch");
    return out;
  }

  void WriteTypeInfo(const TypeInfo& info) {
    auto& seg = seg_[kTypeInfoTab];
    for (std::int32_t v : {info.typekind,
                           -1 /* member data: set at layout */,
                           info.res2,
                           info.res3,
                           3,
                           0,
                           info.elements,
                           0,
                           0,
                           0,
                           0,
                           info.posguid,
                           0 /* flags */,
                           info.name,
                           0 /* version */,
                           info.docstring,
                           0 /* help string context */,
                           info.help_context,
                           -1 /* custom data */,
                           0 /* implemented types, vtable size */,
                           info.size,
                           info.datatype1,
                           0,
                           0,
                           -1}) {
      PutInt(seg, v);
    }
  }

  const Library& lib_;
  SysKind kind_;
  std::vector<std::uint8_t> seg_[kSegmentCount];
  std::vector<std::pair<std::int32_t, std::string>> names_;
  std::vector<std::pair<std::int32_t, std::string>> strings_;
  std::int32_t name_chars_ = 0;
  std::vector<TypeInfo> infos_;
};

// The platform's case folding for the hash, for ASCII names: upper case,
// with 'W' and 'Y' folded onto 'V' and 'U'.
std::uint8_t Fold(char c) {
  std::uint8_t u = static_cast<std::uint8_t>(c);
  if (u >= 'a' && u <= 'z') u = static_cast<std::uint8_t>(u - 32);
  if (u == 'W') return 'V';
  if (u == 'Y') return 'U';
  return u;
}

}  // namespace

std::uint32_t NameHash(SysKind, const char* name) {
  // The locale 0x409 is in the group whose marker is 16; only Macintosh
  // libraries set the low bit of it.
  std::uint32_t low = 0x0DEADBEE;
  for (const char* p = name; *p; ++p) low = 37 * low + Fold(*p);
  low = (low % 65599) & 0xFFFF;
  return (16u << 16) | low;
}

std::vector<std::uint8_t> WriteTypeLib(const Library& library, SysKind kind) {
  return Writer(library, kind).Write();
}

}  // namespace vard::tlb
