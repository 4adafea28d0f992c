// Variable enumeration against the fake server.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::EnumerationRequest;
using proto::PathListRequest;

namespace {

using Enumeration = RequestTest;

// A reply that writes `handle`, a name and a path, and answers `code`.
void ReplyVariable(FakeServer& s, std::uint32_t handle, std::string name, std::string path,
                   LRESULT code = vardOK) {
  s.SetHandler([=](std::uint32_t, std::uint8_t* block) {
    auto& r = *reinterpret_cast<EnumerationRequest*>(block);
    r.FindHandle = handle;
    std::memcpy(r.VarName, name.data(), std::min(name.size() + 1, sizeof r.VarName));
    std::memcpy(r.Path, path.data(), std::min(path.size() + 1, sizeof r.Path));
    return code;
  });
}

// A reply that puts `list` (NULs included) behind the path-list record.
void ReplyList(FakeServer& s, std::string list, LRESULT code = vardOK) {
  s.SetHandler([=](std::uint32_t, std::uint8_t* block) {
    std::memset(block + proto::kPathListOffset, 'Z', 400);
    std::memcpy(block + proto::kPathListOffset, list.data(), list.size());
    return code;
  });
}

TEST_F(Enumeration, FindRequestsAndTheirRepliesPassThroughWhole) {
  ScribbleAfterEachReply();
  FindNextVariable(1, nullptr, nullptr);  // leaves the block scribbled
  const std::string name(29, 'n'), path(255, 'p');
  ReplyVariable(server_, 0x12345678, name, path, vardNoSuchData);  // the code is not looked at
  char var_name[30], var_path[258];
  EXPECT_EQ(FindFirstVariable(vardNavigateString, var_name, var_path), 0x12345678);
  EXPECT_EQ(var_name, name);
  EXPECT_EQ(var_path, path);
  Received r = Last();
  EXPECT_EQ(r.code, proto::kFindFirstVariable);
  EXPECT_EQ(r.As<EnumerationRequest>().RecordSize, 300u);
  EXPECT_EQ(r.As<EnumerationRequest>().Filter, vardNavigateString);
  EXPECT_TRUE(AllZero(r, 6, 300));

  // A reply without terminators is cut at the fields' widths.
  ReplyVariable(server_, 7, std::string(40, 'N'), std::string(300, 'P'));
  EXPECT_EQ(FindNextVariable(0x7654321, var_name, var_path), vardOK);
  EXPECT_EQ(var_name, std::string(29, 'N'));
  EXPECT_EQ(var_path, std::string(257, 'P'));
  EXPECT_EQ(Last().As<EnumerationRequest>().FindHandle, 0x7654321u);

  // Not vardOK: the buffers stay as they were.
  ReplyVariable(server_, 7, "x", "y", vardNoSuchData);
  EXPECT_EQ(FindNextVariable(7, var_name, var_path), vardNoSuchData);
  EXPECT_EQ(var_name, std::string(29, 'N'));
  FindVariableClose(-2);
  r = Last();
  EXPECT_EQ(r.code, proto::kFindVariableClose);
  EXPECT_EQ(r.As<EnumerationRequest>().FindHandle, 0xFFFFFFFEu);
  EXPECT_TRUE(AllZero(r, 4, 8));
}

TEST_F(Enumeration, AFindReplyWithoutAHandleGivesZeroAndEmptyTexts) {
  char var_name[30] = "old", var_path[258] = "old";
  EXPECT_EQ(FindFirstVariable(vardNavigateAll, var_name, var_path), 0);
  EXPECT_STREQ(var_name, "");
  EXPECT_STREQ(var_path, "");
  // A caller's buffer that faults: handle 0, and the library goes on.
  ReplyVariable(server_, 5, "n", "p");
  EXPECT_EQ(FindFirstVariable(vardNavigateAll, nullptr, var_path), 0);
  EXPECT_EQ(FindNextVariable(5, var_name, nullptr), vardException);
  wchar_t wide_name[30], wide_path[255];
  EXPECT_EQ(FindFirstVariableW(vardNavigateAll, wide_name, wide_path), 5);
  EXPECT_EQ(std::wstring(wide_name), L"n");
}

TEST_F(Enumeration, WideFindFormsDeliverPathsOfAtMost254Characters) {
  ReplyVariable(server_, 3, std::string(29, 'n'), std::string(255, 'p'));
  std::wstring name(40, L'#'), path(300, L'#');
  EXPECT_EQ(FindFirstVariableW(1, name.data(), path.data()), 3);
  EXPECT_EQ(name.c_str(), std::wstring(29, L'n'));
  EXPECT_EQ(path.c_str(), std::wstring(254, L'p'));
  EXPECT_EQ(path[255], L'#');
  ReplyVariable(server_, 3, "late", "a.b", vardNoSuchData);
  EXPECT_EQ(FindNextVariableW(3, name.data(), path.data()), vardNoSuchData);
  EXPECT_EQ(name.c_str(), std::wstring(29, L'n'));
}

TEST_F(Enumeration, PathListCopiesExactlyBufferSizeBytes) {
  ScribbleAfterEachReply();
  GetVariablesInPath(nullptr, 0, nullptr, 0);
  ReplyList(server_, std::string("a\0bc\0\0", 6));
  char result[120];
  std::memset(result, '#', sizeof result);
  EXPECT_EQ(GetVariablesInPath(std::string(200, 'p').c_str(), vardNavigateAll, result, 100),
            vardOK);
  EXPECT_EQ(std::string(result, 8), std::string("a\0bc\0\0ZZ", 8));
  EXPECT_EQ(result[99], 'Z');
  EXPECT_EQ(result[100], '#');
  const Received r = Last();
  EXPECT_EQ(r.code, proto::kGetVariablesInPath);
  EXPECT_EQ(r.As<PathListRequest>().RecordSize, 184u);
  EXPECT_EQ(r.As<PathListRequest>().Filter, 255);
  EXPECT_EQ(r.As<PathListRequest>().Capacity, 100);
  EXPECT_EQ(Text(r.As<PathListRequest>().PathPrefix), std::string(169, 'p'));
  EXPECT_TRUE(AllZero(r, 178, 184));

  // Negative: the whole room is asked for, and nothing can be copied.
  std::memset(result, '#', sizeof result);
  EXPECT_EQ(GetVariablesInPath(nullptr, 1, result, -5), vardBufferToSmall);
  EXPECT_EQ(Last().As<PathListRequest>().Capacity, 65342);
  EXPECT_EQ(Last().As<PathListRequest>().PathPrefix[0], '\0');
  EXPECT_EQ(result[0], '#');
  EXPECT_EQ(GetVariablesInPath("x", 1, nullptr, 10), vardBufferToSmall);
  ReplyList(server_, "a", vardInvalidName);
  EXPECT_EQ(GetVariablesInPath("x", 1, result, 10), vardInvalidName);
  EXPECT_EQ(result[0], '#');
}

TEST_F(Enumeration, WidePathListConvertsWithinItsBudget) {
  struct Case {
    short size;
    std::string list;
    std::wstring expected;  // the caller's buffer up to the first '#'
  };
  const Case cases[] = {
      {200, std::string("a\0bc\0\0", 6), std::wstring(L"a\0bc\0\0", 6)},
      {3, std::string("a\0\0", 3), L""},          // no budget: untouched
      {-8, std::string("a\0\0", 3), L""},
      {4, std::string("\0", 1), std::wstring(L"\0", 1)},
      {12, std::string("ab\0cd\0\0", 7), std::wstring(L"ab\0\0", 4)},  // cd does not fit
      {14, std::string("ab\0cd\0\0", 7), std::wstring(L"ab\0cd\0\0", 7)},
  };
  for (const Case& c : cases) {
    ReplyList(server_, c.list);
    std::wstring result(120, L'#');
    EXPECT_EQ(GetVariablesInPathW(L"Plant", 2, result.data(), c.size), vardOK) << c.size;
    EXPECT_EQ(result.substr(0, result.find(L'#')), c.expected) << c.size;
    EXPECT_EQ(Last().As<PathListRequest>().Capacity,
              c.size < 0 ? 65342 : static_cast<std::uint16_t>(c.size));
  }
  EXPECT_EQ(Text(Last().As<PathListRequest>().PathPrefix), "Plant");
  ReplyList(server_, "a", vardBufferToSmall);
  std::wstring result(8, L'#');
  EXPECT_EQ(GetVariablesInPathW(Wide(std::string(300, 'w')).c_str(), 2, result.data(), 16),
            vardBufferToSmall);
  EXPECT_EQ(result, std::wstring(8, L'#'));
  EXPECT_EQ(Text(Last().As<PathListRequest>().PathPrefix), std::string(169, 'w'));
}

TEST(EnumerationUnregistered, AnswerHandleZeroOrNotInitializedAndSendNothing) {
  FakeServer server;
  char name[30] = "keep", path[258] = "keep";
  wchar_t wide[8] = L"keep";
  EXPECT_EQ(FindFirstVariable(vardNavigateAll, name, path), 0);
  EXPECT_EQ(FindNextVariable(1, name, path), vardNotInitialized);
  FindVariableClose(1);
  EXPECT_EQ(GetVariablesInPath("", 1, name, 10), vardNotInitialized);
  EXPECT_EQ(GetVariablesInPathW(L"", 1, wide, 16), vardNotInitialized);
  EXPECT_STREQ(name, "keep");
  EXPECT_STREQ(wide, L"keep");
  for (std::uint32_t code : server.Codes()) EXPECT_LT(code, vard::proto::kGetType);
}

}  // namespace
