// Numeric and string variables against the fake server.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::ScalarRequest;

namespace {

using Scalars = RequestTest;

const ScalarRequest& Record(const Received& r) { return r.As<ScalarRequest>(); }

TEST_F(Scalars, CreateNumberFillsItsFieldsInAClearedRecord) {
  ScribbleAfterEachReply();
  SetNumber("first", 0);
  CreateNumber("num", 2.25, std::string(15, 'u').c_str(), nullptr, "a.b");
  const Received r = Last();
  EXPECT_EQ(r.code, proto::kCreateNumber);
  EXPECT_EQ(Record(r).RecordSize, 708u);
  EXPECT_EQ(Text(Record(r).Units), std::string(9, 'u'));
  EXPECT_EQ(Text(Record(r).Path), "a.b");
  EXPECT_EQ(Get<double>(r.block.data(), 700), 2.25);
  EXPECT_TRUE(AllZero(r, offsetof(ScalarRequest, Description), 700));  // null: empty
  EXPECT_TRUE(AllZero(r, 4 + 4, offsetof(ScalarRequest, Units)));
  EXPECT_EQ(r.block[sizeof(ScalarRequest)], 0xAA);
}

TEST_F(Scalars, WritingOperationsUseTheirCodesAndFields) {
  SetString("s", std::string(300, 's').c_str());
  EXPECT_EQ(Text(Record(Last()).String), std::string(255, 's'));
  SetNumber("n", -7.5);
  EXPECT_EQ(Record(Last()).Value, -7.5);
  SetDescription("n", "about n");
  EXPECT_EQ(Text(Record(Last()).Description), "about n");
  SetUnits("n", "mV");
  EXPECT_EQ(Text(Record(Last()).Units), "mV");
  CreateString("s", "v", "p");
  EXPECT_EQ(SentCodes(), (std::vector<std::uint32_t>{42, 46, 47, 48, 41}));
}

TEST_F(Scalars, ReadsCopyWhateverTheReply) {
  LRESULT reply = vardNoSuchData;
  server_.SetHandler([&](std::uint32_t code, std::uint8_t* block) {
    if (code == proto::kGetString) std::strcpy(reinterpret_cast<char*>(block) + 34, "hello");
    if (code == proto::kGetUnits) std::memset(block + offsetof(ScalarRequest, Units), 'u', 10);
    return reply;
  });
  char buffer[32];
  EXPECT_EQ(GetString("s", buffer, 5), vardNoSuchData);
  EXPECT_STREQ(buffer, "hell");
  std::strcpy(buffer, "kept");
  GetString("s", buffer, 0);
  GetString("s", buffer, -3);
  EXPECT_STREQ(buffer, "kept");
  std::memset(buffer, '#', sizeof buffer);
  GetUnits("n", buffer);  // no NUL in the field: 9 characters come back
  EXPECT_EQ(std::string(buffer), std::string(9, 'u'));
  EXPECT_EQ(buffer[10], '#');
  double value = 99;
  EXPECT_EQ(GetNumber("missing", &value), vardNoSuchData);
  EXPECT_EQ(value, 0.0);

  reply = vardOK;
  wchar_t wide[32];
  GetStringW(L"s", wide, 5);
  EXPECT_STREQ(wide, L"hell");
  GetUnitsW(L"n", wide);  // converted back with n = 10
  EXPECT_EQ(std::wstring(wide), std::wstring(8, L'u'));
  EXPECT_EQ(GetNumber("n", nullptr), vardException);
}

TEST_F(Scalars, WideFormsConvertWithTheirOwnLimits) {
  const std::wstring path200 = Wide(std::string(200, 'p'));
  CreateStringW(Wide(std::string(40, 'n')).c_str(), L"v", path200.c_str());
  EXPECT_EQ(Text(Record(Last()).Name), std::string(28, 'n'));
  EXPECT_EQ(Text(Record(Last()).Path), std::string(142, 'p'));
  CreateNumberW(L"n", 1.0, L"kg", nullptr, path200.c_str());
  EXPECT_EQ(Text(Record(Last()).Path), std::string(200, 'p'));
  SetUnitsW(L"n", L"0123456789ab");
  EXPECT_EQ(Text(Record(Last()).Units), "01234567");
}

}  // namespace
