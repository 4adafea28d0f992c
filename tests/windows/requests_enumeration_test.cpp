// Variable enumeration against the fake server.
#include "tests/windows/requests_fixture.h"

using namespace vard::test;
namespace proto = vard::proto;
using proto::EnumerationRequest;
using proto::PathListRequest;

namespace {

using Enumeration = RequestTest;

// Replies with a handle, a name and a path (cut to their fields, without a
// NUL when they fill them) and `code`.
void ReplyVariable(FakeServer& s, std::string name, std::string path, LRESULT code = vardOK) {
  s.SetHandler([=](std::uint32_t, std::uint8_t* block) {
    auto& r = *reinterpret_cast<EnumerationRequest*>(block);
    r.FindHandle = 0x12345678;
    std::memcpy(r.VarName, name.data(), std::min(name.size() + 1, sizeof r.VarName));
    std::memcpy(r.Path, path.data(), std::min(path.size() + 1, sizeof r.Path));
    return code;
  });
}

TEST_F(Enumeration, FindRequestsPassHandlesAndWholeTextsThrough) {
  ScribbleAfterEachReply();
  FindVariableClose(-2);
  EXPECT_EQ(Last().As<EnumerationRequest>().FindHandle, 0xFFFFFFFEu);
  char name[30] = "old", path[258] = "old";
  ReplyVariable(server_, std::string(29, 'n'), std::string(255, 'p'), vardNoSuchData);
  EXPECT_EQ(FindFirstVariable(vardNavigateString, name, path), 0x12345678);  // the code is not read
  EXPECT_EQ(name + std::string("|") + path, std::string(29, 'n') + "|" + std::string(255, 'p'));
  const Received r = Last();
  EXPECT_EQ(r.As<EnumerationRequest>().RecordSize, 300u);
  EXPECT_EQ(r.As<EnumerationRequest>().Filter, vardNavigateString);
  EXPECT_TRUE(AllZero(r, 6, 300));
  std::wstring wide_name(40, L'#'), wide_path(300, L'#');  // wide paths: at most 254
  EXPECT_EQ(FindFirstVariableW(1, wide_name.data(), wide_path.data()), 0x12345678);
  EXPECT_EQ(wide_path.c_str(), std::wstring(254, L'p'));
  EXPECT_EQ(wide_path[255], L'#');

  ReplyVariable(server_, std::string(40, 'N'), std::string(300, 'P'));  // no NULs
  EXPECT_EQ(FindNextVariable(0x7654321, name, path), vardOK);
  EXPECT_EQ(Last().As<EnumerationRequest>().FindHandle, 0x7654321u);
  EXPECT_EQ(name + std::string("|") + path, std::string(29, 'N') + "|" + std::string(257, 'P'));
  ReplyVariable(server_, "x", "y", vardNoSuchData);
  EXPECT_EQ(FindNextVariable(7, name, path), vardNoSuchData);
  EXPECT_EQ(name, std::string(29, 'N'));                            // untouched
  EXPECT_EQ(FindFirstVariable(vardNavigateAll, nullptr, path), 0);  // a faulting buffer
  server_.SetHandler(nullptr);
  EXPECT_EQ(FindFirstVariable(vardNavigateAll, name, path), 0);  // no handle written
  EXPECT_EQ(name + std::string(path), "");
}

TEST_F(Enumeration, PathListCopiesExactlyBufferSizeBytes) {
  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    std::memset(block + proto::kPathListOffset, 'Z', 400);
    std::memcpy(block + proto::kPathListOffset, "a\0bc\0", 6);
    return Get<std::uint16_t>(block, 4) == 9 ? vardInvalidName : vardOK;  // Filter 9: refused
  });
  char result[120];
  std::memset(result, '#', sizeof result);
  EXPECT_EQ(GetVariablesInPath(std::string(200, 'p').c_str(), 255, result, 100), vardOK);
  EXPECT_EQ(std::string(result, 101), std::string("a\0bc\0\0", 6) + std::string(94, 'Z') + "#");
  const Received last = Last();
  EXPECT_EQ(last.As<PathListRequest>().RecordSize + last.As<PathListRequest>().Capacity, 284u);
  EXPECT_EQ(Text(last.As<PathListRequest>().PathPrefix), std::string(169, 'p'));
  // Negative: the whole room is asked for, nothing can be copied.
  EXPECT_EQ(GetVariablesInPath(nullptr, 1, result + 110, -5), vardBufferToSmall);
  EXPECT_EQ(Last().As<PathListRequest>().Capacity, 65342);
  EXPECT_EQ(GetVariablesInPath("x", 1, nullptr, 10), vardBufferToSmall);
  EXPECT_EQ(GetVariablesInPath("x", 9, result + 110, 10), vardInvalidName);
  EXPECT_EQ(result[110], '#');
}

TEST_F(Enumeration, WidePathListConvertsWithinItsBudgetAndEndsTheList) {
  const struct {
    short size;
    std::wstring expected;  // the caller's buffer up to the first '#'
  } cases[] = {
      {200, std::wstring(L"ab\0cd\0\0", 7)}, {3, L""}, {-8, L""},  // no budget: untouched
      {12, std::wstring(L"ab\0\0", 4)},  // cd does not fit: the list ends before it
      {14, std::wstring(L"ab\0cd\0\0", 7)},
  };
  server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
    std::memcpy(block + proto::kPathListOffset, "ab\0cd\0", 7);
    return vardOK;
  });
  for (const auto& c : cases) {
    std::wstring result(120, L'#');
    EXPECT_EQ(GetVariablesInPathW(Wide(std::string(300, 'w')).c_str(), 2, result.data(), c.size),
              vardOK);
    EXPECT_EQ(result.substr(0, result.find(L'#')), c.expected) << c.size;
  }
  EXPECT_EQ(Text(Last().As<PathListRequest>().PathPrefix), std::string(169, 'w'));
}

TEST(EnumerationUnregistered, FindFirstAnswersHandleZero) {
  FakeServer server;
  char name[30] = "keep", path[258] = "keep";
  EXPECT_EQ(FindFirstVariable(vardNavigateAll, name, path), 0);
  EXPECT_EQ(GetVariablesInPathW(L"", 1, nullptr, 16), vardNotInitialized);
  EXPECT_STREQ(name, "keep");
}

}  // namespace
