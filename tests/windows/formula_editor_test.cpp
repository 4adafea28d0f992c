// The Formula Editor driven the way a user drives it: select a row, type
// into the fields, press the buttons. The window runs over a pool of this
// process that a second client (PoolClient) shares, so what the editor does
// is checked from the client's side, and the other way round.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "server/core/formula_table.h"
#include "server/win/formula_editor.h"
#include "tests/native/pool_client.h"

namespace vard::server {
namespace {

using namespace vard::proto;
using testing::PoolClient;

class FormulaEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.CreateNumber("u", 12, "V");
    client_.CreateNumber("i", 0.5, "A");
    ASSERT_GT(formula::AddFormula(pool_, {"power", "u * i", "W", "electrical power"}), 0);
    ASSERT_TRUE(editor::Show(pool_));
    window_ = FindWindowA(editor::kWindowClass, nullptr);
    ASSERT_NE(window_, nullptr);
    list_ = GetDlgItem(window_, editor::kList);
  }

  HWND Item(int id) const { return GetDlgItem(window_, id); }
  std::string Text(int id) const {
    char buf[512] = {};
    GetWindowTextA(Item(id), buf, sizeof buf);
    return buf;
  }
  std::string Cell(int item, int column) const {
    char buf[256] = {};
    ListView_GetItemText(list_, item, column, buf, sizeof buf);
    return buf;
  }
  void SelectItem(int item) const {
    ListView_SetItemState(list_, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  // Replaces a field's text key by key.
  void Type(int id, const std::string& text) const {
    SendMessageA(Item(id), EM_SETSEL, 0, -1);
    SendMessageA(Item(id), WM_CHAR, VK_BACK, 1);
    for (char c : text) SendMessageA(Item(id), WM_CHAR, static_cast<unsigned char>(c), 1);
  }
  void Press(int id) const { SendMessageA(Item(id), BM_CLICK, 0, 0); }
  double Number(const char* name, std::uint32_t expected = vardOK) {
    EXPECT_EQ(client_.Scalar(kGetNumber, name), expected) << name;
    return client_.Value();
  }

  Pool pool_;
  PoolClient client_{pool_};
  HWND window_ = nullptr;
  HWND list_ = nullptr;
};

TEST_F(FormulaEditor, AUserEditsTheTableAndEveryClientSeesIt) {
  ASSERT_TRUE(IsWindowVisible(window_));
  ASSERT_EQ(ListView_GetItemCount(list_), 1);
  EXPECT_EQ(Cell(0, 0), "1");
  EXPECT_EQ(Cell(0, 2), "u * i");
  EXPECT_EQ(Cell(0, 5), "6");

  // Selecting the row fills the fields; a changed formula reaches clients.
  SelectItem(0);
  EXPECT_EQ(Text(editor::kName), "power");
  EXPECT_EQ(Text(editor::kDescription), "electrical power");
  Type(editor::kFormula, "u * i * 1000");
  Type(editor::kUnits, "mW");
  Press(editor::kChange);
  EXPECT_EQ(Number("power"), 6000);
  EXPECT_EQ(client_.Scalar(kGetUnits, "power"), vardOK);
  EXPECT_EQ(client_.ReplyText(kGetUnits), "mW");
  EXPECT_EQ(Cell(0, 5), "6000");

  // A new row by typing all of it; a mistake is explained and changes nothing.
  Type(editor::kName, "ohms");
  Type(editor::kFormula, "u / ");
  Type(editor::kUnits, "Ohm");
  Press(editor::kAdd);
  EXPECT_NE(Text(editor::kStatus).find("Formula error at character 5"), std::string::npos)
      << Text(editor::kStatus);
  EXPECT_EQ(Number("ohms", vardNoSuchObject), 0.0);
  Type(editor::kFormula, "u / i");
  Press(editor::kAdd);
  EXPECT_EQ(Text(editor::kStatus), "Row 2 added.");
  EXPECT_EQ(Number("ohms"), 24);
  ASSERT_EQ(ListView_GetItemCount(list_), 2);
  EXPECT_EQ(ListView_GetNextItem(list_, -1, LVNI_SELECTED), 1);

  // A client's change shows in the table at the next refresh.
  client_.Scalar(kSetNumber, "i", "", 2);
  for (int waited = 0; waited < 5000 && Cell(1, 5) != "6"; waited += 100) Sleep(100);
  EXPECT_EQ(Cell(1, 5), "6");
  EXPECT_EQ(Cell(0, 5), "24000");
  client_.Scalar(kSetNumber, "i", "", 0);
  for (int waited = 0; waited < 5000 && Cell(1, 5).rfind("error", 0) != 0; waited += 100) Sleep(100);
  EXPECT_EQ(Cell(1, 5), "error: domain error");

  // Deleting the first row deletes its variable.
  SelectItem(0);
  Press(editor::kDelete);
  EXPECT_EQ(Number("power", vardNoSuchObject), 0.0);
  ASSERT_EQ(ListView_GetItemCount(list_), 1);
  EXPECT_EQ(Cell(0, 1), "ohms");
  Press(editor::kChange);  // nothing selected any more
  EXPECT_EQ(Text(editor::kStatus), "Select a row first.");

  // Closing hides the window; showing again brings back the same one.
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(window_));
  ASSERT_TRUE(editor::Show(pool_));
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_EQ(FindWindowExA(nullptr, window_, editor::kWindowClass, nullptr), nullptr);
}

}  // namespace
}  // namespace vard::server
