// The DDE relay's library side against the fake server.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::DdeRequest;

namespace {

using Dde = RequestTest;

const DdeRequest& Record(const Received& r) { return r.As<DdeRequest>(); }
std::string Field(const Received& r) {
  return std::string(reinterpret_cast<const char*>(r.block.data()) + proto::kDdeTextOffset);
}

TEST_F(Dde, CommandFillsItsRecordAndTheTextRunsOn) {
  ScribbleAfterEachReply();
  const std::string command(1000, 'c');
  EXPECT_EQ(VARDDDECommand("App", "Topic", command.c_str(), -1), vardDdeNoError);
  Received r = Last();
  EXPECT_EQ(r.code, proto::kDdeCommand);
  EXPECT_EQ(Record(r).RecordSize, 708u);
  EXPECT_EQ(Get<std::uint32_t>(r.block.data(), 4), 0xFFFFFFFFu);
  EXPECT_EQ(Text(Record(r).App), "App");
  EXPECT_EQ(Field(r), command);

  // Only the record is cleared: past byte 708 the block is as the last reply
  // left it, apart from the text itself.
  const std::string app(40, 'a'), topic(300, 't');
  VARDDDECommand(app.c_str(), topic.c_str(), "go", 7);
  r = Last();
  EXPECT_EQ(Text(Record(r).App), app.substr(0, 29));
  EXPECT_EQ(Text(Record(r).Topic), topic.substr(0, 255));
  EXPECT_EQ(Field(r), "go");
  EXPECT_TRUE(AllZero(r, proto::kDdeTextOffset + 3, sizeof(DdeRequest)));
  EXPECT_EQ(r.block[sizeof(DdeRequest)], 0xAA);
}

TEST_F(Dde, RequestCopiesTheFieldWhateverTheReply) {
  LRESULT reply = vardDdeUnknownRequest;
  const char* answer = "0123456789012345678901234567890123456789012345678_";
  server_.SetHandler([&](std::uint32_t, std::uint8_t* block) {
    if (answer) std::strcpy(reinterpret_cast<char*>(block) + proto::kDdeTextOffset, answer);
    return reply;
  });
  char result[64];
  EXPECT_EQ(VARDDDERequest("App", "Topic", "Item", 100, result, 10), vardDdeUnknownRequest);
  EXPECT_EQ(Last().code, proto::kDdeRequest);
  EXPECT_STREQ(result, "012345678");
  for (const short size : {0, -5}) {
    std::strcpy(result, "kept");
    VARDDDERequest("App", "Topic", "Item", 100, result, size);
    EXPECT_STREQ(result, "kept");
  }
  answer = nullptr;  // the field stays as sent: the item comes back
  reply = 0xFFFF;
  EXPECT_EQ(VARDDDERequest("App", "Topic", "Item", 100, result, 64), vardDdeUnknownError);
  EXPECT_STREQ(result, "Item");
}

TEST_F(Dde, WideCommandConvertsEachTextWhole) {
  EXPECT_EQ(VARDDDECommandW(std::wstring(40, L'a').c_str(), nullptr, L"gr\u00FC\u00DF", 1), 0);
  Received r = Last();
  EXPECT_EQ(Text(Record(r).App), std::string(29, 'a'));  // all the field takes
  EXPECT_EQ(Text(Record(r).Topic), "");
  EXPECT_EQ(Field(r), "gr\xFC\xDF");
  const std::wstring huge(100000, L'h');
  EXPECT_EQ(VARDDDECommandW(L"App", L"Topic", huge.c_str(), 1), 0);
  EXPECT_EQ(Field(Last()), std::string(proto::kDdeTextMax - 1, 'h'));
}

TEST_F(Dde, WideRequestUsesTheCallersSizeForBothBuffers) {
  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    std::strcpy(reinterpret_cast<char*>(block) + proto::kDdeTextOffset, "\xC4pfel");
    return 0;
  });
  wchar_t result[16];
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"\u00C4", 1, result, 10), 0);
  EXPECT_EQ(Field(Last()), "\xC4");
  EXPECT_STREQ(result, L"\u00C4pfel");
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, result, 4), 0);
  EXPECT_STREQ(result, L"\u00C4p");
  const std::size_t sent = Sent().size();
  wcscpy(result, L"kept");
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, result, -1), vardDdeUnknownError);
  EXPECT_EQ(Sent().size(), sent);
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, result, 0), 0);
  EXPECT_STREQ(result, L"kept");
  EXPECT_EQ(Sent().size(), sent + 1);
}

TEST_F(Dde, UnregisteredAndFaultingCallsAnswerTheirCodes) {
  ExitDataManager();
  char result[8] = "kept";
  wchar_t wide[8] = L"kept";
  EXPECT_EQ(VARDDDERequest("App", "Topic", "Item", 1, result, 8), vardNotInitialized);
  EXPECT_STREQ(result, "kept");
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, wide, 8), vardNotInitialized);
  EXPECT_STREQ(wide, L"");
  EXPECT_EQ(VARDDDECommandW(L"App", L"Topic", L"Cmd", 1), vardNotInitialized);
  InitDataManager();
  const auto bad = reinterpret_cast<LPCWSTR>(8);
  EXPECT_EQ(VARDDDECommandW(L"App", L"Topic", bad, 1), vardDdeException);
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, reinterpret_cast<LPWSTR>(8), 8),
            vardDdeException);
  EXPECT_EQ(VARDDDECommand("App", "Topic", "Cmd", 1), vardDdeNoError);
}

}  // namespace
