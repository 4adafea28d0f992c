// The Variable Navigator against the real server: the real modal dialog,
// driven from a helper thread as a user would drive it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/navigator_driver.h"
#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

using vard::test::NavigatorDialog;
using vard::test::RunNavigator;
using Items = std::vector<std::string>;
constexpr int kOk = IDOK, kCancel = IDCANCEL;

void SetLastPath(const char* path) {
  WritePrivateProfileStringA("Navigator", "LastPath", path, "VARD.INI");
}
std::string LastPath() {
  char path[300] = "";
  GetPrivateProfileStringA("Navigator", "LastPath", "", path, sizeof path, "VARD.INI");
  return path;
}

// GetVariableName with a script; the name it returned.
std::string PickName(const std::function<void(const NavigatorDialog&)>& script,
                     HWND owner = nullptr) {
  char name[22] = "junk";
  EXPECT_TRUE(RunNavigator([&] { EXPECT_EQ(GetVariableName(owner, vardNavigateAll, name), name); },
                           script));
  return name;
}

// Selects the levels of `path` box by box, the way the user walks it.
void Walk(const NavigatorDialog& d, const Items& levels, int first_box = 0) {
  for (std::size_t i = 0; i < levels.size(); ++i)
    ASSERT_TRUE(d.Select(first_box + static_cast<int>(i), levels[i])) << levels[i] << ": " << d.View();
}

class Navigator : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitDataManager();
    CreateNumber("NavSpeed1", 12.5, "m/s", "Line 1 belt speed", "Plant.Line1.Speed");
    CreateString("NavSpeed2", "fast", "Plant.Line2.Speed");
    CreateNumber("NavDeep", 7, "", "seven levels down", "Deep.L1.L2.L3.L4.L5.L6");
    CreateNumber("NavDeepBranch", 8, "", "", "Deep.L1.L2.L3.L4.L5");
    CreateWaveform("NavAnalog", vardFloat, "Kinds.Analog");
    CreateWaveform("NavDigital", vardDigital, "Kinds.Digital");
    CreateNumber("NavNumber", 1, "", "a number", "Kinds.Number");
    CreateString("NavString", "text", "Kinds.String");
    SetDescription("NavString", "a string");
    CreateNumber("NavGone", 1, "", "deleted while shown", "Kinds.Gone");
  }
  static void TearDownTestSuite() {
    for (const char* tree : {"Plant", "Deep", "Kinds"}) DeleteSubTree(tree);
    ExitDataManager();
  }
  void SetUp() override { SetLastPath(nullptr); }
};

TEST_F(Navigator, WalksThePlantPathShowsTheDetailsAndReturnsTheChosenName) {
  // The owner's icons become the dialog's.
  HWND owner = CreateWindowExA(0, "static", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                               nullptr, nullptr, nullptr);
  HICON icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WARNING));
  SendMessageA(owner, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  const std::string name = PickName(
      [&](const NavigatorDialog& d) {
        EXPECT_EQ(d.Text(), "Variable Navigator");
        EXPECT_EQ(SendMessageA(d.Window(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon));
        EXPECT_EQ(d.Items(0), (Items{"Deep", "Kinds", "Plant"}));
        EXPECT_FALSE(d.Enabled(NavigatorDialog::kNext) || d.Enabled(NavigatorDialog::kPrevious));
        ASSERT_TRUE(d.Select(0, "Plant"));
        EXPECT_EQ(d.Items(1), (Items{"Line1", "Line2"}));
        EXPECT_FALSE(d.Enabled(kOk));  // a branch
        ASSERT_TRUE(d.Select(1, "Line1"));
        EXPECT_EQ(d.Items(2), Items{"Speed"});
        ASSERT_TRUE(d.Select(2, "Speed"));
        EXPECT_EQ(d.Text(NavigatorDialog::kName), "NavSpeed1");
        EXPECT_EQ(d.Text(NavigatorDialog::kDescription), "Line 1 belt speed");
        EXPECT_EQ(d.Text(NavigatorDialog::kType), "Number");
        EXPECT_TRUE(d.Enabled(kOk));
        d.Click(kOk);
      },
      owner);
  DestroyWindow(owner);
  EXPECT_EQ(name, "NavSpeed1");
  EXPECT_EQ(LastPath(), "Plant.Line1.Speed");
}

TEST_F(Navigator, SevenLevelsScrollRightAndBackWithTheSelectionsRemembered) {
  const std::string name = PickName([](const NavigatorDialog& d) {
    Walk(d, {"Deep", "L1", "L2", "L3", "L4"});
    // A selection in the last box moves the view one level right.
    EXPECT_EQ(d.View(), "[L1]  | [L2]  | [L3]  | [L4]  | L5 ");
    EXPECT_TRUE(d.Enabled(NavigatorDialog::kPrevious));
    EXPECT_FALSE(d.Enabled(NavigatorDialog::kNext));
    ASSERT_TRUE(d.Select(4, "L5"));  // a variable and a branch at once
    EXPECT_EQ(d.View(), "[L2]  | [L3]  | [L4]  | [L5]  | L6 ");
    EXPECT_EQ(d.Text(NavigatorDialog::kName), "NavDeepBranch");  // the clicked item's details
    ASSERT_TRUE(d.Select(4, "L6"));  // the seventh level: the view cannot move further
    EXPECT_EQ(d.View(), "[L2]  | [L3]  | [L4]  | [L5]  | [L6] ");
    EXPECT_EQ(d.Text(NavigatorDialog::kName), "NavDeep");
    EXPECT_FALSE(d.Enabled(NavigatorDialog::kNext));
    d.Click(NavigatorDialog::kPrevious);
    EXPECT_EQ(d.View(), "[L1]  | [L2]  | [L3]  | [L4]  | [L5] ");
    EXPECT_TRUE(d.Enabled(NavigatorDialog::kNext));
    d.Click(NavigatorDialog::kPrevious);
    EXPECT_EQ(d.View(), "[Deep] Kinds Plant  | [L1]  | [L2]  | [L3]  | [L4] ");
    EXPECT_FALSE(d.Enabled(NavigatorDialog::kPrevious));
    d.Click(NavigatorDialog::kNext);
    EXPECT_EQ(d.View(), "[L1]  | [L2]  | [L3]  | [L4]  | [L5] ");
    d.Click(kCancel);
  });
  EXPECT_EQ(name, "");
  // Written whatever the way the dialog ended: the level above the box refilled last.
  EXPECT_EQ(LastPath(), "Deep.L1.L2.L3.L4");
}

TEST_F(Navigator, ShowsTheTypeAndDescriptionOfEachKind) {
  WritePrivateProfileStringA("Help", "HelpFile", nullptr, "VARD.INI");
  PickName([](const NavigatorDialog& d) {
    ASSERT_TRUE(d.Select(0, "Kinds"));
    EXPECT_EQ(d.Items(1), (Items{"Analog", "Digital", "Gone", "Number", "String"}));
    DeleteVariable("NavGone");  // GetType now fails: "Unknown Type", no description
    const struct {
      const char *item, *name, *type, *description;
    } kinds[] = {{"Analog", "NavAnalog", "Analog Waveform", ""},
                 {"Digital", "NavDigital", "Digital Waveform", ""},
                 {"Number", "NavNumber", "Number", "a number"},
                 {"String", "NavString", "String", "a string"},
                 {"Gone", "NavGone", "Unknown Type", ""}};
    for (const auto& k : kinds) {
      ASSERT_TRUE(d.Select(1, k.item));
      EXPECT_EQ(d.Text(NavigatorDialog::kName), k.name);
      EXPECT_EQ(d.Text(NavigatorDialog::kType), k.type);
      EXPECT_EQ(d.Text(NavigatorDialog::kDescription), k.description);
    }
    d.Click(13009);  // Help without a "HelpFile" entry does nothing
    ASSERT_TRUE(d.Select(0, "Plant"));  // a branch empties the fields
    EXPECT_EQ(d.Text(NavigatorDialog::kType) + d.Text(NavigatorDialog::kName), "");
    EXPECT_FALSE(d.Enabled(kOk));
  });
}

TEST_F(Navigator, TheLastPathIsRestoredInANewProcessAsFarAsItIsFound) {
  PickName([](const NavigatorDialog& d) {
    Walk(d, {"Plant", "Line2", "Speed"});
    d.Click(kOk);
  });
  EXPECT_EQ(vard::test::RunPeer("navigator_peer.exe", "restore"),
            "Deep Kinds [Plant]  | Line1 [Line2]  | [Speed]  |  | /NavSpeed2/String\n");
  SetLastPath("plant.Gone.Speed");
  PickName([](const NavigatorDialog& d) {
    EXPECT_EQ(d.View(), "Deep Kinds [Plant]  | Line1 Line2  |  |  | ");
  });
  EXPECT_EQ(LastPath(), "Plant");  // as the selection left it, in the pool's spelling
}

TEST_F(Navigator, ListAndWideFormsDeliverTheNameOrAnEmptyResult) {
  auto choose = [](const NavigatorDialog& d) {
    Walk(d, {"Plant", "Line1", "Speed"});
    d.Click(kOk);
  };
  auto cancel = [](const NavigatorDialog& d) { d.Click(kCancel); };
  char list[40];
  wchar_t wide[40];
  RunNavigator([&] { EXPECT_EQ(GetMultipleVariableNames(nullptr, 255, list, 0), list); }, choose);
  EXPECT_EQ(std::string(list, 11), std::string("NavSpeed1\0\0", 11));
  std::memset(list, 'a', sizeof list);
  RunNavigator([&] { GetMultipleVariableNames(nullptr, 255, list, 0); }, cancel);
  EXPECT_EQ(list[0], '\0');
  EXPECT_EQ(list[1], 'a');  // one NUL: the empty list
  RunNavigator([&] { EXPECT_EQ(GetMultipleVariableNamesW(nullptr, 255, wide, 0), wide); }, choose);
  EXPECT_EQ(std::wstring(wide, 11), std::wstring(L"NavSpeed1\0\0", 11));
  RunNavigator([&] { EXPECT_EQ(GetVariableNameW(nullptr, 255, wide), wide); }, choose);
  EXPECT_EQ(std::wstring(wide), L"NavSpeed1");
  RunNavigator([&] { GetVariableNameW(nullptr, 255, wide); }, cancel);
  EXPECT_EQ(wide[0], L'\0');
  EXPECT_EQ(GetVariableName(nullptr, 255, nullptr), nullptr);  // a faulting buffer: no dialog
}

TEST_F(Navigator, GermanAndFrenchCaptionsAndTypeNames) {
  EXPECT_EQ(vard::test::RunPeer("navigator_peer.exe", "language 1031 Number"),
            "Variablen Navigator|Anzahl|Beenden\n");
  EXPECT_EQ(vard::test::RunPeer("navigator_peer.exe", "language 1036 String"),
            "Variable Navigateur|Cha\xC3\xAEne|Annuler\n");
  EXPECT_EQ(vard::test::RunPeer("navigator_peer.exe", "uninitialised"), "[] shown=0\n");
}

}  // namespace
