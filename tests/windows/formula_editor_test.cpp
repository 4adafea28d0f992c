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
using namespace vard::server::editor;

TEST(FormulaEditor, AUserEditsTheTableAndEveryClientSeesIt) {
  Pool pool;
  testing::PoolClient client(pool);
  client.CreateNumber("u", 12, "V");
  client.CreateNumber("i", 0.5, "A");
  ASSERT_GT(formula::AddFormula(pool, {"power", "u * i", "W", "electrical power"}), 0);
  ASSERT_TRUE(Show(pool));
  const HWND window = FindWindowA(kWindowClass, nullptr), list = GetDlgItem(window, kList);
  auto text = [&](int id) {
    char buf[512] = {};
    return std::string(GetWindowTextA(GetDlgItem(window, id), buf, sizeof buf) ? buf : "");
  };
  auto cell = [&](int item, int column) {
    char buf[256] = {};
    ListView_GetItemText(list, item, column, buf, sizeof buf);
    return std::string(buf);
  };
  auto select = [&](int item) {
    ListView_SetItemState(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  };
  auto type = [&](int id, const std::string& keys) {  // replaces the field's text key by key
    SendMessageA(GetDlgItem(window, id), EM_SETSEL, 0, -1);
    SendMessageA(GetDlgItem(window, id), WM_CHAR, VK_BACK, 1);
    for (char c : keys) SendMessageA(GetDlgItem(window, id), WM_CHAR, static_cast<BYTE>(c), 1);
  };
  auto press = [&](int id) { SendMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0); };
  auto number = [&](const char* name, std::uint32_t expected = vardOK) {
    EXPECT_EQ(client.Scalar(kGetNumber, name), expected) << name;
    return client.Value();
  };
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  EXPECT_EQ(cell(0, 2), "u * i");
  EXPECT_EQ(cell(0, 5), "6");

  // Selecting the row fills the fields; a changed formula reaches clients.
  select(0);
  EXPECT_EQ(text(kDescription), "electrical power");
  type(kFormula, "u * i * 1000");
  type(kUnits, "mW");
  press(kChange);
  EXPECT_EQ(number("power"), 6000);
  EXPECT_EQ(cell(0, 3), "mW");

  // A new row by typing all of it; a mistake is explained and changes nothing.
  type(kName, "ohms");
  type(kFormula, "u / ");
  press(kAdd);
  EXPECT_EQ(text(kStatus).rfind("Formula error at character 5", 0), 0u) << text(kStatus);
  EXPECT_EQ(number("ohms", vardNoSuchObject), 0.0);
  type(kFormula, "u / i");
  press(kAdd);
  EXPECT_EQ(text(kStatus), "Row 2 added.");
  EXPECT_EQ(number("ohms"), 24);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1);

  // A client's change shows in the table at the next refresh.
  client.Scalar(kSetNumber, "i", "", 0);
  for (int waited = 0; waited < 5000 && cell(1, 5).rfind("error", 0) != 0; waited += 100) Sleep(100);
  EXPECT_EQ(cell(1, 5), "error: domain error");

  // Deleting the first row deletes its variable.
  select(0);
  press(kDelete);
  EXPECT_EQ(number("power", vardNoSuchObject), 0.0);
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  EXPECT_EQ(cell(0, 1), "ohms");
  press(kChange);  // nothing selected any more
  EXPECT_EQ(text(kStatus), "Select a row first.");
  Hide();  // no refresh once this pool is gone
}

}  // namespace
}  // namespace vard::server
