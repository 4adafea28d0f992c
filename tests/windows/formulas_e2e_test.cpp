// Formulas against the real server: computed variables shared by two client
// processes, text expansion up to its limit, and the Formula Editor window
// of the pool host.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "server/win/formula_editor.h"
#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

class Formulas : public ::testing::Test {
 protected:
  void SetUp() override {
    InitDataManager();
    ASSERT_EQ(CreateNumber("e2e_u", 12, "V", nullptr, "e2e"), vardOK);
    ASSERT_EQ(CreateNumber("e2e_i", 0.5, "A", nullptr, "e2e"), vardOK);
    ASSERT_EQ(CreateString("e2e_s", "bench 3", "e2e"), vardOK);
    ASSERT_GT(AddFormula("e2e_power", "e2e_u * e2e_i", "W", "electrical power"), 0);
  }
  void TearDown() override {
    DeleteSubTree("e2e");
    DeleteSubTree("Formulas");
    ExitDataManager();
  }
};

TEST_F(Formulas, ComputedVariablesFollowNumbersThatAnotherClientChanges) {
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_power", &v), vardOK);
  EXPECT_EQ(v, 6);
  // The peer sets e2e_u to 24, reads e2e_power and adds e2e_half over it.
  EXPECT_EQ(vard::test::RunPeer("formulas_peer.exe"), "0 0 12 row\n");
  EXPECT_EQ(GetNumber("e2e_power", &v), vardOK);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(GetNumberW(L"e2e_half", &v), vardOK);
  EXPECT_EQ(v, 6);
  EXPECT_EQ(DeleteVariable("e2e_power"), vardOK);
  EXPECT_EQ(GetNumber("e2e_half", &v), vardNotFound);  // it refers to a name now gone
}

TEST_F(Formulas, ExpansionOfEachKindOfReferenceUpToTheLimit) {
  const char* input = "P={e2e_power:%.1f} {e2e_power:units} ({e2e_power:description}), "
                      "{e2e_u*2}, {e2e_s}, {{x}}, {nobody}";
  const std::string expected = "P=6.0 W (electrical power), 24, bench 3, {x}, <?unknown>";
  // The limit hit exactly: the text and its NUL fill the buffer; one less cuts it.
  char out[128];
  std::memset(out, '#', sizeof out);
  const short exact = static_cast<short>(expected.size() + 1);
  EXPECT_EQ(ExpandTextEx(input, out, exact), out);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(out[exact], '#');
  ExpandTextEx(input, out, exact - 1);
  EXPECT_EQ(out, expected.substr(0, expected.size() - 1));
}

TEST_F(Formulas, ShowFormulaEditorOpensOneWindowOfTheHost) {
  using namespace vard::server::editor;
  EXPECT_EQ(ShowFormulaEditor(), 1);
  const HWND window = FindWindowA(kWindowClass, nullptr);
  ASSERT_NE(window, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  EXPECT_NE(owner, GetCurrentProcessId());
  EXPECT_EQ(SendMessageA(GetDlgItem(window, kList), LVM_GETITEMCOUNT, 0, 0), 1);
  // Closed by the user, shown again: the same window, and only one.
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(ShowFormulaEditor(), 1);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(FindWindowExA(nullptr, window, kWindowClass, nullptr), nullptr);
}

}  // namespace
