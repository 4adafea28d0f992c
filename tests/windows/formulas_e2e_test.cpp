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
    row_ = AddFormula("e2e_power", "e2e_u * e2e_i", "W", "electrical power");
    ASSERT_GT(row_, 0);
  }
  void TearDown() override {
    DeleteSubTree("e2e");
    DeleteSubTree("Formulas");
    ExitDataManager();
  }
  short row_ = 0;
};

TEST_F(Formulas, ComputedVariablesFollowNumbersThatAnotherClientChanges) {
  double v = 0;
  EXPECT_EQ(GetNumber("e2e_power", &v), vardOK);
  EXPECT_EQ(v, 6);
  EXPECT_EQ(vard::test::RunPeer("formulas_peer.exe", "change-and-read"), "0 0 12 row\n");
  EXPECT_EQ(GetNumber("e2e_power", &v), vardOK);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(GetNumberW(L"e2e_half", &v), vardOK);
  EXPECT_EQ(v, 6);
  short type = 0;
  EXPECT_EQ(GetType("e2e_half", &type), vardOK);
  EXPECT_EQ(type, vardNumerical);
  char units[10] = {};
  EXPECT_EQ(GetUnits("e2e_half", units), vardOK);
  EXPECT_STREQ(units, "W");

  EXPECT_EQ(SetFormula(row_, "e2e_power", "e2e_u * e2e_i / 1000", "kW", nullptr), vardOK);
  EXPECT_EQ(GetNumber("e2e_half", &v), vardOK);
  EXPECT_EQ(v, 0.006);
  EXPECT_EQ(SetFormula(row_, "e2e_power", "e2e_u *", "kW", nullptr), vardInvalidParameter);
  EXPECT_EQ(AddFormula("e2e_u", "1", "", ""), -vardAlreadyExists);
  EXPECT_EQ(DeleteFormula(row_), vardOK);
  EXPECT_EQ(GetNumber("e2e_power", &v), vardNoSuchObject);
  EXPECT_EQ(GetNumber("e2e_half", &v), vardNotFound);  // it refers to a name now gone
  EXPECT_EQ(DeleteFormula(row_), vardNoSuchData);
}

TEST_F(Formulas, ExpansionOfEachKindOfReferenceUpToTheLimit) {
  const char* input =
      "P={e2e_power:%.1f} {e2e_power:units} ({e2e_power:description}), {e2e_u*2}, "
      "{e2e_s}, {{x}}, {nobody}";
  const std::string expected = "P=6.0 W (electrical power), 24, bench 3, {x}, <?unknown>";
  char out[128];
  EXPECT_EQ(ExpandTextEx(input, out, sizeof out), out);
  EXPECT_EQ(out, expected);
  // The limit hit exactly: the text and its NUL fill the buffer; one less cuts it.
  const short exact = static_cast<short>(expected.size() + 1);
  std::memset(out, '#', sizeof out);
  ExpandTextEx(input, out, exact);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(out[exact], '#');
  ExpandTextEx(input, out, exact - 1);
  EXPECT_EQ(out, expected.substr(0, expected.size() - 1));
  wchar_t wide[128];
  EXPECT_EQ(ExpandTextExW(L"{e2e_s} {e2e_power}", wide, 10), wide);
  EXPECT_STREQ(wide, L"bench 3 6");
}

TEST_F(Formulas, ShowFormulaEditorOpensOneWindowOfTheHost) {
  EXPECT_EQ(ShowFormulaEditor(), 1);
  const HWND window = FindWindowA(vard::server::editor::kWindowClass, nullptr);
  ASSERT_NE(window, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  EXPECT_NE(owner, GetCurrentProcessId());
  EXPECT_TRUE(IsWindowVisible(window));
  // The table shows the row this client added.
  const HWND list = GetDlgItem(window, vard::server::editor::kList);
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
  // Closed by the user, shown again: the same window, and only one.
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(ShowFormulaEditor(), 1);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(FindWindowA(vard::server::editor::kWindowClass, nullptr), window);
  EXPECT_EQ(FindWindowExA(nullptr, window, vard::server::editor::kWindowClass, nullptr), nullptr);
}

}  // namespace
