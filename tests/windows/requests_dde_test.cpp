// The DDE relay's library side against the fake server.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::DdeRequest;

namespace {

using Dde = RequestTest;

const DdeRequest& Record(const Received& r) { return r.As<DdeRequest>(); }
std::string Field(const Received& r) {
  return reinterpret_cast<const char*>(r.block.data()) + proto::kDdeTextOffset;
}
void Answer(FakeServer& server, const char* text, LRESULT reply = 0) {
  server.SetHandler([=](std::uint32_t, std::uint8_t* block) {
    if (text) std::strcpy(reinterpret_cast<char*>(block) + proto::kDdeTextOffset, text);
    return reply;
  });
}

TEST_F(Dde, CommandFillsOnlyItsRecordAndTheTextRunsOn) {
  ScribbleAfterEachReply();
  const std::string command(1000, 'c'), app(40, 'a'), topic(300, 't');
  EXPECT_EQ(VARDDDECommand("App", "Topic", command.c_str(), -1), vardDdeNoError);
  EXPECT_EQ(Last().code, proto::kDdeCommand);
  EXPECT_EQ(Record(Last()).RecordSize, 708u);
  EXPECT_EQ(Get<std::uint32_t>(Last().block.data(), 4), 0xFFFFFFFFu);
  EXPECT_EQ(Field(Last()), command);
  VARDDDECommand(app.c_str(), topic.c_str(), "go", 7);
  const Received r = Last();
  EXPECT_EQ(Text(Record(r).App) + "|" + Text(Record(r).Topic),
            app.substr(0, 29) + "|" + topic.substr(0, 255));
  EXPECT_EQ(Field(r), "go");
  EXPECT_TRUE(AllZero(r, proto::kDdeTextOffset + 3, sizeof(DdeRequest)));
  EXPECT_EQ(r.block[sizeof(DdeRequest)], 0xAA);  // past the record: not cleared
}

TEST_F(Dde, RequestCopiesTheFieldWhateverTheReply) {
  Answer(server_, "0123456789abcdef", vardDdeUnknownRequest);
  char result[32];
  EXPECT_EQ(VARDDDERequest("App", "Topic", "Item", 1, result, 10), vardDdeUnknownRequest);
  EXPECT_EQ(Last().code, proto::kDdeRequest);
  EXPECT_STREQ(result, "012345678");
  for (const short size : {0, -5}) {
    std::strcpy(result, "kept");
    VARDDDERequest("App", "Topic", "Item", 1, result, size);
    EXPECT_STREQ(result, "kept");
  }
  Answer(server_, nullptr, 0xFFFF);  // the field stays as sent: the item comes back
  EXPECT_EQ(VARDDDERequest("App", "Topic", "Item", 1, result, 32), vardDdeUnknownError);
  EXPECT_STREQ(result, "Item");
}

TEST_F(Dde, WideFormsConvertWithTheirOwnSizes) {
  EXPECT_EQ(VARDDDECommandW(std::wstring(40, L'a').c_str(), nullptr, L"gr\u00FC\u00DF", 1), 0);
  EXPECT_EQ(Text(Record(Last()).App), std::string(29, 'a'));  // all the field takes
  EXPECT_EQ(Text(Record(Last()).Topic), "");
  EXPECT_EQ(Field(Last()), "gr\xFC\xDF");
  EXPECT_EQ(VARDDDECommandW(L"App", L"Topic", std::wstring(100000, L'h').c_str(), 1), 0);
  EXPECT_EQ(Field(Last()), std::string(proto::kDdeTextMax - 1, 'h'));

  Answer(server_, "\xC4pfel");
  wchar_t result[16] = L"kept";
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, result, -1), vardDdeUnknownError);
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, result, 0), 0);
  EXPECT_STREQ(result, L"kept");
  EXPECT_EQ(Sent().size(), 3u);  // none for the negative size
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"\u00C4", 1, result, 10), 0);
  EXPECT_EQ(Field(Last()), "\xC4");
  EXPECT_STREQ(result, L"\u00C4pfel");
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, result, 4), 0);
  EXPECT_STREQ(result, L"\u00C4p");
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
  const auto bad = reinterpret_cast<LPWSTR>(8);
  EXPECT_EQ(VARDDDECommandW(L"App", L"Topic", bad, 1), vardDdeException);
  EXPECT_EQ(VARDDDERequestW(L"App", L"Topic", L"Item", 1, bad, 8), vardDdeException);
  EXPECT_EQ(VARDDDECommand("App", "Topic", "Cmd", 1), vardDdeNoError);
}

}  // namespace
