// Variable enumeration through the library against the real server.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

using Names = std::vector<std::string>;

// "path|name" of every variable of the enumeration below `prefix`, in order.
Names Walk(long handle, const char* first_name, const char* first_path, const std::string& prefix) {
  Names out;
  char name[30], path[258];
  std::string n = first_name, p = first_path;
  for (short rc = vardOK; rc == vardOK; rc = FindNextVariable(handle, name, path), n = name, p = path)
    if (p.compare(0, prefix.size(), prefix) == 0) out.push_back(p + "|" + n);
  return out;
}

class Enumeration : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataManager();
    for (int i = 49; i >= 0; --i) {
      const std::string name = "Enum" + std::to_string(100 + i);
      ASSERT_EQ(CreateNumber(name.c_str(), i, "", nullptr, i % 2 ? "E2E.Enum.Odd" : "E2E.Enum"), vardOK);
    }
  }
  void TearDown() override {
    DeleteSubTree("E2E");
    ExitDataManager();
  }
};

TEST_F(Enumeration, AWalkSeesThePoolAsItWasWhileAnotherClientChangesIt) {
  char name[30], path[258];
  const long handle = FindFirstVariable(vardNavigateNumerical, name, path);
  ASSERT_NE(handle, 0);
  // Another process deletes everything under E2E.Enum and adds one variable.
  EXPECT_EQ(vard::test::RunPeer("navigator_peer.exe", "churn E2E.Enum"), "0 0\n");
  const Names seen = Walk(handle, name, path, "E2E.");
  FindVariableClose(handle);
  ASSERT_EQ(seen.size(), 50u);
  EXPECT_EQ(seen.front(), "E2E.Enum|Enum100");
  EXPECT_EQ(seen[24], "E2E.Enum|Enum148");
  EXPECT_EQ(seen[25], "E2E.Enum.Odd|Enum101");
  EXPECT_EQ(FindNextVariable(handle, name, path), vardInvalidHandle);  // closed

  const long again = FindFirstVariable(vardNavigateNumerical, name, path);
  EXPECT_EQ(Walk(again, name, path, "E2E."), Names{"E2E.Enum.late|EnumLate"});
  FindVariableClose(again);
}

TEST_F(Enumeration, PathListsThroughTheLibrary) {
  char list[400];
  ASSERT_EQ(GetVariablesInPath("e2e.enum.odd", vardNavigateAll, list, sizeof list), vardOK);
  std::string names;
  for (const char* p = list; *p; p += std::strlen(p) + 1) names.append(p).append(",");
  EXPECT_EQ(names.substr(0, 16), "Enum101,Enum103,");
  EXPECT_EQ(names.size(), 25u * 8);
  // Too small a buffer: the server cuts the list and says so; nothing is copied.
  list[0] = '#';
  EXPECT_EQ(GetVariablesInPath("E2E.Enum.Odd", vardNavigateAll, list, 100), vardBufferToSmall);
  EXPECT_EQ(list[0], '#');
  wchar_t wide[40];
  ASSERT_EQ(GetVariablesInPathW(L"E2E.Enum.Odd", vardNavigateString, wide, sizeof wide), vardOK);
  EXPECT_EQ(wide[0], L'\0');  // no strings there: the empty list
}

TEST_F(Enumeration, AClientKilledWhileEnumeratingLeavesThePoolWorking) {
  HANDLE peer = vard::test::StartReady("navigator_peer.exe", "hold-enumeration");
  ASSERT_NE(peer, nullptr);
  vard::test::Kill(peer);
  char name[30], path[258];
  const long handle = FindFirstVariable(vardNavigateAll, name, path);
  EXPECT_EQ(Walk(handle, name, path, "E2E.").size(), 50u);
  FindVariableClose(handle);
  EXPECT_EQ(DeleteSubTree("E2E.Enum.Odd"), vardOK);
}

}  // namespace
