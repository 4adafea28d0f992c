// The formula family against the fake server: the FormulaRequest each export
// sends, and how ExpandTextEx copies the expansion into the caller's buffer.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::FormulaRequest;

namespace {

using Formulas = RequestTest;

const FormulaRequest& Record(const Received& r) { return r.As<FormulaRequest>(); }

TEST_F(Formulas, DefinitionsFillTheirFieldsInAClearedRecord) {
  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    std::memset(block, 0xAA, proto::kBlockSize);
    return -4;  // a row or a negated code: passed on as it stands
  });
  EXPECT_EQ(DeleteFormula(3), -4);
  EXPECT_EQ(AddFormula("power", std::string(200, 'f').c_str(), "W", nullptr), -4);
  Received r = Last();
  EXPECT_EQ(Record(r).RecordSize, 33120u);
  EXPECT_EQ(Text(Record(r).Name), "power");
  EXPECT_EQ(Text(Record(r).Formula), std::string(159, 'f'));
  EXPECT_TRUE(AllZero(r, offsetof(FormulaRequest, Description), sizeof(FormulaRequest)));
  EXPECT_EQ(r.block[sizeof(FormulaRequest)], 0xAA);  // only the record is cleared

  SetFormula(-1, "n", "1", "", "about n");
  EXPECT_EQ(Get<std::uint16_t>(Last().block.data(), 4), 0xFFFF);
  EXPECT_EQ(Text(Record(Last()).Description), "about n");
  ShowFormulaEditor();
  EXPECT_TRUE(AllZero(Last(), 4, sizeof(FormulaRequest)));
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{61, 60, 64, 62}));

  AddFormulaW(Wide(std::string(40, 'n')).c_str(), Wide(std::string(200, 'f')).c_str(),
              L"0123456789ab", nullptr);
  EXPECT_EQ(Text(Record(Last()).Name), std::string(28, 'n'));
  EXPECT_EQ(Text(Record(Last()).Formula), std::string(158, 'f'));
  EXPECT_EQ(Text(Record(Last()).Units), "01234567");
}

TEST_F(Formulas, ExpandTextExSendsTheCappedLimitAndCopiesWithinIt) {
  LRESULT reply = 1;
  std::uint16_t limit_back = 0;  // 0: leave the limit as sent
  server_.SetHandler([&](std::uint32_t, std::uint8_t* block) {
    std::memset(block + offsetof(FormulaRequest, OutputText), 'x', 300);
    block[offsetof(FormulaRequest, OutputText) + 300] = 0;
    if (limit_back) Put<std::uint16_t>(block, offsetof(FormulaRequest, OutputLimit), limit_back);
    return reply;
  });
  char out[400];
  const struct {
    short size;
    std::uint16_t sent;
  } limits[] = {{100, 100}, {24575, 24575}, {30000, 24575}, {-1, 24575}, {0, 0}};
  for (const auto& l : limits) {
    std::strcpy(out, "kept");
    EXPECT_EQ(ExpandTextEx(std::string(10000, 'i').c_str(), out, l.size), out);
    EXPECT_EQ(Record(Last()).OutputLimit, l.sent) << l.size;
    if (l.size == 100) {
      EXPECT_EQ(std::string(out), std::string(99, 'x'));
    } else if (l.size == 0) {
      EXPECT_STREQ(out, "kept");  // no room: nothing written
    }
  }
  EXPECT_EQ(Text(Record(Last()).InputText), std::string(8191, 'i'));
  // The limit is read again after the reply, never above the one sent.
  limit_back = 10;
  ExpandTextEx("t", out, 100);
  EXPECT_EQ(std::string(out), std::string(9, 'x'));
  limit_back = 5000;
  ExpandTextEx("t", out, 20);
  EXPECT_EQ(std::string(out), std::string(19, 'x'));
  limit_back = 0;
  // Success is any non-zero 32-bit answer; 0 empties the text.
  reply = 0x10000;
  ExpandTextEx("t", out, 5);
  EXPECT_STREQ(out, "xxxx");
  reply = 0;
  ExpandTextEx("t", out, 5);
  EXPECT_STREQ(out, "");

  reply = 1;
  wchar_t wide[64];
  wcscpy(wide, L"kept");
  EXPECT_EQ(ExpandTextExW(L"t", wide, 10), wide);
  EXPECT_EQ(std::wstring(wide), std::wstring(9, L'x'));
  wcscpy(wide, L"kept");
  ExpandTextExW(L"t", wide, 0);
  EXPECT_STREQ(wide, L"kept");
  // A bad buffer is the caller's fault: the export still answers its pointer.
  EXPECT_EQ(ExpandTextEx("t", reinterpret_cast<char*>(16), 50), reinterpret_cast<char*>(16));

  // Not registered: nothing is sent, the text stays (the wide one is emptied).
  ExitDataManager();
  const std::size_t sent = Sent().size();
  std::strcpy(out, "kept");
  EXPECT_EQ(ExpandTextEx("t", out, 8), out);
  EXPECT_STREQ(out, "kept");
  ExpandTextExW(L"t", wide, 8);
  EXPECT_STREQ(wide, L"");
  EXPECT_EQ(Sent().size(), sent);
  InitDataManager();  // for TearDown
}

}  // namespace
