// The Automation entries against the fake server: the BSTR and SAFEARRAY
// rules, and that nothing runs past an array.
#include <functional>
#include <string>
#include <vector>

#include "automation/marshal.h"
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::ScalarRequest;
using proto::VariableRequest;
using proto::WaveformRequest;

namespace {

// A BSTR argument that the test owns.
struct Bstr {
  BSTR s;
  explicit Bstr(const std::wstring& t)
      : s(SysAllocStringLen(t.data(), static_cast<UINT>(t.size()))) {}
  ~Bstr() { SysFreeString(s); }
  operator BSTR() const { return s; }
};

std::wstring Taken(BSTR s) {
  std::wstring out(s ? s : L"", s ? SysStringLen(s) : 0);
  SysFreeString(s);
  return out;
}

SAFEARRAY* Vector(VARTYPE type, ULONG count) { return SafeArrayCreateVector(type, 1, count); }

class Automation : public RequestTest {};

// A required text that is a null BSTR is refused before anything is sent,
// and leaves the out-parameters alone; the waveform tests answer false.
TEST_F(Automation, MissingRequiredTextsAreRefused) {
  Bstr name(L"x");
  long type = 77;
  BSTR text = reinterpret_cast<BSTR>(0x1234);
  short handle = 55;
  double value = 1.5;
  const std::function<long()> calls[] = {
      [&] { return GetTypeTLB(nullptr, &type); },
      [&] { return DeleteVariableTLB(nullptr); },
      [&] { return DeleteSubTreeTLB(nullptr); },
      [&] { return GetStringTLB(nullptr, &text); },
      [&] { return CreateStringTLB(name, name, nullptr); },
      [&] { return CreateStringTLB(nullptr, name, name); },
      [&] { return SetStringTLB(nullptr, name); },
      [&] { return GetNumberTLB(nullptr, &value); },
      [&] { return GetUnitsTLB(nullptr, &text); },
      [&] { return CreateNumberTLB(name, 1.0, name, name, nullptr); },
      [&] { return SetNumberTLB(nullptr, 2.0); },
      [&] { return SetDescriptionTLB(nullptr, name); },
      [&] { return SetUnitsTLB(nullptr, name); },
      [&] { return LockWaveformTLB(nullptr, &handle); },
      [&] { return GetWaveformValueTLB(nullptr, 0, 0.0, &value); },
      [&] { return CreateWaveformTLB(name, vardFloat, nullptr); },
      [&] { return OpenWaveformTLB(nullptr, &handle); },
      [&] { return WaveformMinMaxTLB(nullptr, 0, 0, 1, &value, &value, &value, &value); },
      [&] { return WaveformHistogramTLB(nullptr, 0, 0, 1, 1, 0, 10, nullptr); },
      [&] { return CreateCollectionTLB(nullptr, name, &handle); },
      [&] { return AddToCollectionTLB(1, nullptr, name, 0); },
      [&] { return LoadCollectionTLB(nullptr, name); },
  };
  for (const auto& call : calls) EXPECT_EQ(call(), vardInvalidParameter);
  EXPECT_EQ(vardIsDigitalWaveformTLB(nullptr), VARIANT_FALSE);
  EXPECT_EQ(vardIsIntegerWaveformTLB(nullptr), VARIANT_FALSE);
  EXPECT_EQ(Taken(ExpandTextExTLB(nullptr)), L"");  // and never a null BSTR
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(type, 77);
  EXPECT_EQ(text, reinterpret_cast<BSTR>(0x1234));
  EXPECT_EQ(handle, 55);
}

// Each text reaches the request through a buffer of the entry's size: a
// buffer of N carries N - 2 characters; an optional null text is empty.
TEST_F(Automation, TextsArriveThroughTheirBuffers) {
  const std::wstring name38(38, L'n'), path150(150, L'p');
  long type = 0;
  GetTypeTLB(Bstr(name38), &type);
  EXPECT_EQ(Text(Last().As<WaveformRequest>().Name).length(), 38u);  // buffer 40
  DeleteVariableTLB(Bstr(name38));
  EXPECT_EQ(Text(Last().As<VariableRequest>().Name).length(), 28u);  // buffer 30
  CreateStringTLB(Bstr(L"s"), nullptr, Bstr(path150));
  EXPECT_EQ(Text(Last().As<ScalarRequest>().Path).length(), 142u);  // buffer 144
  EXPECT_EQ(Text(Last().As<ScalarRequest>().String), "");
  CreateNumberTLB(Bstr(L"n"), 3.0, nullptr, nullptr, Bstr(path150));
  EXPECT_EQ(Text(Last().As<ScalarRequest>().Path).length(), 150u);  // buffer 256
  short coll = 0;
  CreateCollectionTLB(Bstr(L"f"), Bstr(std::wstring(5000, L'c')), &coll);
  EXPECT_EQ(Text(Last().As<proto::CollectionRequest>().Comment).length(), 4094u);  // heap 4096
  BSTR description = nullptr;
  GetDescriptionTLB(nullptr, &description);  // an optional name: asks for ""
  EXPECT_EQ(Text(Last().As<ScalarRequest>().Name), "");
  EXPECT_EQ(Taken(description), L"");
}

// Texts come back as new BSTRs of exactly their length; codes come back
// sign-extended, so -1 and 1000 reach the client as they are.
TEST_F(Automation, ResultsAndCodes) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    auto& r = *reinterpret_cast<ScalarRequest*>(block);
    if (code == proto::kGetString) std::strcpy(r.String, "hello world");
    if (code == proto::kGetUnits) std::strcpy(r.Units, "mV");
    return code == proto::kDeleteVariable ? 0xFFFF : 0;
  });
  BSTR text = nullptr;
  EXPECT_EQ(GetStringTLB(Bstr(L"s"), &text), vardOK);
  EXPECT_EQ(Taken(text), L"hello world");
  EXPECT_EQ(GetUnitsTLB(Bstr(L"n"), &text), vardOK);
  EXPECT_EQ(Taken(text), L"mV");
  EXPECT_EQ(DeleteVariableTLB(Bstr(L"v")), -1);
  ExitDataManager();
  EXPECT_EQ(GetStringTLB(Bstr(L"s"), &text), vardNotInitialized);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(Taken(text), L"");
  EXPECT_EQ(ShowFormulaEditorTLB(), VARIANT_TRUE);  // 1000 is not 0
  InitDataManager();
}

// The array entries make the client's array: lower bound 1, no feature
// flags, the element size of the entry and exactly the count the transfer
// writes (two values per group of a reduced read).
TEST_F(Automation, NewArraysHoldWhatTheTransferWrites) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    auto& r = *reinterpret_cast<WaveformRequest*>(block);
    if (code == proto::kGetWaveformDataType) r.DataType = vardInteger;
    return 0;
  });
  const struct {
    short reduction;
    bool floats;
    ULONG count;
  } cases[] = {{3, false, 8}, {0, false, 10}, {1, true, 10}, {20000, false, 2}};
  for (const auto& c : cases) {
    SAFEARRAY* data = nullptr;
    const long code = c.floats ? GetWaveformDataFloatTLB(1, 0, 0, 9, c.reduction, &data)
                               : GetWaveformDataShortTLB(1, 0, 0, 9, c.reduction, &data);
    EXPECT_EQ(code, vardOK);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->cDims, 1);
    EXPECT_EQ(data->fFeatures, 0);
    EXPECT_EQ(data->cbElements, c.floats ? 4u : 2u);
    EXPECT_EQ(data->cLocks, 0u);
    EXPECT_EQ(data->rgsabound[0].lLbound, 1);
    EXPECT_EQ(data->rgsabound[0].cElements, c.count) << c.reduction;
    SafeArrayDestroy(data);
  }
  SAFEARRAY* data = nullptr;
  EXPECT_EQ(ReadWaveformShortTLB(1, 0, 5, &data), vardOK);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->rgsabound[0].cElements, 6u);
  SafeArrayDestroy(data);
  // Two values per group of two: 2^31 of them do not fit in memory, and
  // must never reach an allocation that wraps around.
  server_.Clear();
  EXPECT_EQ(GetWaveformDataShortTLB(1, 0, 0, 0x7FFFFFFE, 2, &data), vardOutOfMemory);
  EXPECT_TRUE(Sent().empty());
  SafeArrayDestroy(data);  // the descriptor stays the client's
}

// Arrays lent by the client: missing, of the wrong element size, too short,
// or of another size than the waveform's samples are refused without a
// transfer; the in-place buffers are given back unlocked.
TEST_F(Automation, ClientArraysAreCheckedFirst) {
  short stored = vardFloat;
  server_.SetHandler([&](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    if (code == proto::kGetWaveformDataType)
      reinterpret_cast<WaveformRequest*>(block)->DataType = stored;
    return 0;
  });
  SAFEARRAY* shorts = Vector(VT_I2, 5);
  SAFEARRAY* floats = Vector(VT_R4, 6);
  SAFEARRAY* none = nullptr;
  EXPECT_EQ(WriteWaveformFloatTLB(1, 0, 5, &shorts), vardInvalidParameter);  // element size
  EXPECT_EQ(WriteWaveformShortTLB(1, 0, 5, &shorts), vardInvalidParameter);  // 5 < 6
  EXPECT_EQ(WriteWaveformShortTLB(1, 0, 5, &none), vardInvalidParameter);
  EXPECT_EQ(WriteWaveformShortTLB(1, 0, 5, nullptr), vardInvalidParameter);
  EXPECT_EQ(WriteWaveformShortTLB(1, 0, 4, &shorts), vardInvalidParameter);  // float waveform
  SAFEARRAY* made = nullptr;
  EXPECT_EQ(ReadWaveformShortTLB(1, 0, 4, &made), vardInvalidParameter);
  EXPECT_EQ(SafeArrayDestroy(made), S_OK);
  EXPECT_EQ(WaveformHistogramTLB(Bstr(L"w"), 0, 0, 1, 1, 0, -3, &made), vardInvalidParameter);
  EXPECT_EQ(SafeArrayDestroy(made), S_OK);
  for (std::uint32_t code : SentCodes()) EXPECT_EQ(code, proto::kGetWaveformDataType);
  // The requests of the plain export, and no more.
  server_.Clear();
  EXPECT_EQ(WriteWaveformFloatTLB(1, 0, 5, &floats), vardOK);
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{proto::kGetWaveformDataType,
                                                     proto::kWriteWaveform}));

  SAFEARRAY* real = Vector(VT_R4, 1024);
  SAFEARRAY* imaginary = Vector(VT_R4, 512);
  EXPECT_EQ(BufferComplexFFTTLB(&real, &imaginary, 1024, vardFftForward), vardInvalidParameter);
  EXPECT_EQ(real->cLocks, 0u);
  EXPECT_EQ(imaginary->cLocks, 0u);
  EXPECT_EQ(BufferComplexFFTTLB(&real, &imaginary, 512, vardFftForward), vardOK);
  EXPECT_EQ(BufferApplyWindowTLB(&shorts, 5, vardHanning), vardInvalidParameter);  // 10 bytes
  EXPECT_EQ(BufferApplyWindowTLB(&floats, 7, vardHanning), vardInvalidParameter);
  EXPECT_EQ(BufferApplyWindowTLB(&floats, 6, vardHanning), vardOK);
  for (SAFEARRAY* a : {shorts, floats, real, imaginary}) EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

// DDE texts go through heap buffers of their length + 2 bytes, which a
// 16-bit size must count; a refused request still answers with a text.
TEST_F(Automation, DdeTextsAndTheirAnswers) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t*) -> LRESULT {
    return code == proto::kDdeRequest ? vardDdeTimeout : 0xFFFF;
  });
  const std::wstring longest(32765, L'c'), too_long(32766, L'c');
  BSTR result = nullptr;
  EXPECT_EQ(VARDDDERequestTLB(nullptr, nullptr, Bstr(too_long), 5, &result),
            vardDdeInvalidParameter);
  EXPECT_EQ(Taken(result), L"\"\"");
  EXPECT_EQ(VARDDDECommandTLB(nullptr, nullptr, Bstr(too_long), 5), vardDdeInvalidParameter);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(VARDDDECommandTLB(Bstr(L"app"), nullptr, Bstr(longest), 5), vardDdeUnknownError);
  EXPECT_EQ(VARDDDERequestTLB(Bstr(L"app"), Bstr(L"topic"), Bstr(L"item"), 5, &result),
            vardDdeTimeout);
  EXPECT_EQ(Taken(result), L"item");  // the item field as the server left it
}

std::vector<std::wstring> Names(SAFEARRAY* array) {
  std::vector<std::wstring> names;
  EXPECT_NE(array, nullptr);
  if (!array) return names;
  EXPECT_EQ(array->rgsabound[0].lLbound, 1);
  auto* slots = static_cast<BSTR*>(array->pvData);
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    names.emplace_back(slots[i], SysStringLen(slots[i]));
  }
  SafeArrayDestroy(array);
  return names;
}

// A find hands back its texts whole (a path as wide as its reply field) or
// two quotation marks; path lists become name arrays, empty ones before
// InitDataManager, when the navigator also answers nothing.
TEST_F(Automation, EnumerationTextsAndNameArrays) {
  server_.SetHandler([](std::uint32_t code, std::uint8_t* block) -> LRESULT {
    auto& r = *reinterpret_cast<proto::EnumerationRequest*>(block);
    if (code == proto::kGetVariablesInPath) {
      std::memcpy(block + proto::kPathListOffset, "x\0yz\0", 6);
    } else {
      r.FindHandle = 9;
      std::strcpy(r.VarName, "v1");
      std::memset(r.Path, 'p', sizeof r.Path);  // no NUL: the whole field
    }
    return code == proto::kFindNextVariable ? vardNoSuchData : vardOK;
  });
  BSTR name = nullptr, path = nullptr;
  SAFEARRAY* names = nullptr;
  EXPECT_EQ(FindFirstVariableTLB(vardNavigateAll, &name, &path), 9);
  EXPECT_EQ(Taken(name) + Taken(path), L"v1" + std::wstring(sizeof(proto::EnumerationRequest::Path) - 1, L'p'));
  EXPECT_EQ(FindNextVariableTLB(9, &name, &path), vardNoSuchData);
  EXPECT_EQ(Taken(name) + Taken(path), L"\"\"\"\"");
  EXPECT_EQ(GetVariablesInPathTLB(nullptr, vardNavigateString, &names), vardOK);
  EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"x", L"yz"}));
  EXPECT_EQ(Last().As<proto::PathListRequest>().Capacity, 24576);
  ExitDataManager();
  EXPECT_EQ(GetVariablesInPathTLB(Bstr(L"a"), vardNavigateAll, &names), vardNotInitialized);
  EXPECT_TRUE(Names(names).empty());
  EXPECT_EQ(FindFirstVariableTLB(vardNavigateAll, &name, &path), 0);
  EXPECT_EQ(Taken(name) + Taken(path), L"\"\"\"\"");
  EXPECT_EQ(Taken(GetVariableNameTLB(0, vardNavigateAll)), L"");
  EXPECT_EQ(GetMultipleVariableNamesTLB(0, vardNavigateAll, &names), 0);
  EXPECT_TRUE(Names(names).empty());
  InitDataManager();
}

// Name lists become BSTR arrays with lower bound 1, read no further than
// the buffer reaches.
TEST(NameList, BecomesArrayOfNames) {
  const struct {
    std::wstring list;
    std::vector<std::wstring> names;
  } cases[] = {{std::wstring(L"a\0bc\0\0", 6), {L"a", L"bc"}},
               {std::wstring(L"\0", 1), {}},
               {std::wstring(L"ab\0cd", 5), {L"ab", L"cd"}}};  // unterminated
  for (const auto& c : cases) {
    SAFEARRAY* array = nullptr;
    EXPECT_TRUE(vard::automation::WideListToSafeArray(c.list.data(), c.list.size(), &array));
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(Names(array), c.names);
  }
  EXPECT_EQ(Taken(vard::automation::TwoQuotes()), L"\"\"");
}

}  // namespace
