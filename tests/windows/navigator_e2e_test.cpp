// The Variable Navigator against the real server: the real modal dialog,
// driven from a helper thread as a user would drive it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "tests/windows/navigator_driver.h"
#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

using vard::test::NavigatorDialog;
using vard::test::RunNavigator;
using Script = std::function<void(const NavigatorDialog&)>;
constexpr int kNext = NavigatorDialog::kNext, kPrevious = NavigatorDialog::kPrevious;

void SetLastPath(const char* path) {
  WritePrivateProfileStringA("Navigator", "LastPath", path, "VARD.INI");
}
std::string LastPath() {
  char path[300] = "";
  GetPrivateProfileStringA("Navigator", "LastPath", "", path, sizeof path, "VARD.INI");
  return path;
}

// GetVariableName with a script; the name it returned.
std::string PickName(const Script& script) {
  char name[22] = "junk";
  EXPECT_TRUE(RunNavigator([&] { EXPECT_EQ(GetVariableName(nullptr, 255, name), name); }, script));
  return name;
}

// Selects one level after the other, box by box.
void Walk(const NavigatorDialog& d, std::initializer_list<const char*> levels) {
  int b = 0;
  for (const char* level : levels) ASSERT_TRUE(d.Select(b++, level)) << level << ": " << d.View();
}

class Navigator : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitDataManager();
    CreateNumber("NavSpeed1", 12.5, "m/s", "Line 1 belt speed", "Plant.Line1.Speed");
    CreateString("NavSpeed2", "fast", "Plant.Line2.Speed");
    CreateNumber("NavDeep", 7, "", "", "Deep.L1.L2.L3.L4.L5.L6");
    CreateNumber("NavDeepBranch", 8, "", "", "Deep.L1.L2.L3.L4.L5");
    CreateWaveform("NavAnalog", vardFloat, "Kinds.Analog");
    CreateWaveform("NavDigital", vardDigital, "Kinds.Digital");
    CreateNumber("NavNumber", 1, "", "a number", "Kinds.Number");
    CreateString("NavString", "text", "Kinds.String");
  }
  static void TearDownTestSuite() {
    for (const char* tree : {"Plant", "Deep", "Kinds"}) DeleteSubTree(tree);
    ExitDataManager();
  }
  void SetUp() override { SetLastPath(nullptr); }
};

TEST_F(Navigator, WalksAPathShowsTheDetailsAndReturnsTheChosenNameInEveryForm) {
  WritePrivateProfileStringA("Help", "HelpFile", nullptr, "VARD.INI");
  const Script choose = [](const NavigatorDialog& d) {
    EXPECT_EQ(d.Text(), "Variable Navigator");
    EXPECT_FALSE(d.Enabled(kNext) || d.Enabled(kPrevious));
    Walk(d, {"Plant"});
    EXPECT_EQ(d.View(), "Deep Kinds [Plant]  | Line1 Line2  |  |  | ");
    EXPECT_EQ(d.Details(), "//");  // a branch: no details, OK disabled
    EXPECT_FALSE(d.Enabled(IDOK));
    d.Click(13009);  // Help without a "HelpFile" entry does nothing
    Walk(d, {"Plant", "Line1", "Speed"});
    EXPECT_EQ(d.Details(), "NavSpeed1/Number/Line 1 belt speed");
    EXPECT_TRUE(d.Enabled(IDOK));
    d.Click(IDOK);
  };
  EXPECT_EQ(PickName(choose), "NavSpeed1");
  EXPECT_EQ(LastPath(), "Plant.Line1.Speed");
  char list[40] = "aaaa";
  wchar_t wide[40];
  RunNavigator([&] { EXPECT_EQ(GetMultipleVariableNames(nullptr, 255, list, 0), list); }, choose);
  EXPECT_EQ(std::string(list, 11), std::string("NavSpeed1\0\0", 11));
  RunNavigator([&] { EXPECT_EQ(GetMultipleVariableNamesW(nullptr, 255, wide, 0), wide); }, choose);
  EXPECT_EQ(std::wstring(wide, 11), std::wstring(L"NavSpeed1\0\0", 11));
  // Cancelled (the script leaves the dialog open): an empty name, the empty list.
  const Script leave = [](const NavigatorDialog&) {};
  RunNavigator([&] { EXPECT_EQ(GetVariableNameW(nullptr, 255, wide), wide); }, leave);
  EXPECT_EQ(wide[0], L'\0');
  std::memset(list, 'a', sizeof list);
  RunNavigator([&] { GetMultipleVariableNames(nullptr, 255, list, 0); }, leave);
  EXPECT_EQ(std::string(list, 2), std::string("\0a", 2));
  EXPECT_EQ(GetVariableName(nullptr, 255, nullptr), nullptr);  // a faulting buffer: no dialog
}

TEST_F(Navigator, SevenLevelsScrollRightAndBackWithTheSelectionsRemembered) {
  const std::string name = PickName([](const NavigatorDialog& d) {
    Walk(d, {"Deep", "L1", "L2", "L3", "L4"});  // the last box moves the view right
    EXPECT_EQ(d.View(), "[L1]  | [L2]  | [L3]  | [L4]  | L5 ");
    EXPECT_TRUE(d.Enabled(kPrevious) && !d.Enabled(kNext));
    ASSERT_TRUE(d.Select(4, "L5"));  // a variable and a branch: its details are shown
    EXPECT_EQ(d.View(), "[L2]  | [L3]  | [L4]  | [L5]  | L6 ");
    EXPECT_EQ(d.Details(), "NavDeepBranch/Number/");
    ASSERT_TRUE(d.Select(4, "L6"));  // the seventh level: the view goes no further
    EXPECT_EQ(d.View(), "[L2]  | [L3]  | [L4]  | [L5]  | [L6] ");
    EXPECT_EQ(d.Details(), "NavDeep/Number/");
    d.Click(kPrevious);
    EXPECT_EQ(d.View(), "[L1]  | [L2]  | [L3]  | [L4]  | [L5] ");
    d.Click(kPrevious);
    EXPECT_EQ(d.View(), "[Deep] Kinds Plant  | [L1]  | [L2]  | [L3]  | [L4] ");
    EXPECT_TRUE(!d.Enabled(kPrevious) && d.Enabled(kNext));
    d.Click(kNext);
    EXPECT_EQ(d.View(), "[L1]  | [L2]  | [L3]  | [L4]  | [L5] ");
    d.Click(IDCANCEL);
  });
  EXPECT_EQ(name, "");
  EXPECT_EQ(LastPath(), "Deep.L1.L2.L3.L4");  // the level above the box refilled last
}

// Every type name in English, German and French; a variable deleted while
// shown reads as of unknown type. Windows looks resources up in the thread's
// UI language, Wine in the thread's locale: both are set.
TEST_F(Navigator, ShowsTheDetailsOfEachKindInEachLanguage) {
  const LANGID languages[] = {1033, 1031, 1036};
  const char* const captions[] = {"Variable Navigator|Cancel", "Variablen Navigator|Beenden",
                                  "Variable Navigateur|Annuler"};
  const char* const kinds[][6] = {
      {"Analog", "NavAnalog", "", "Analog Waveform", "Analoge Kurve", "Signal Analogique"},
      {"Digital", "NavDigital", "", "Digital Waveform", "Digitale Kurve",
       "Signal Num\xC3\xA9rique"},
      {"Number", "NavNumber", "a number", "Number", "Anzahl", "Nombre"},
      {"String", "NavString", "", "String", "Ausdruck", "Cha\xC3\xAEne"},
      {"Gone", "NavGone", "", "Unknown Type", "Unbekannter Typ", "Type Inconnu"}};
  const LCID locale = GetThreadLocale();
  const LANGID ui = GetThreadUILanguage();
  for (int l = 0; l < 3; ++l) {
    CreateNumber("NavGone", 1, "", "", "Kinds.Gone");
    SetThreadUILanguage(languages[l]);
    SetThreadLocale(MAKELCID(languages[l], SORT_DEFAULT));
    PickName([&](const NavigatorDialog& d) {
      EXPECT_EQ(d.Text() + "|" + d.Text(IDCANCEL), captions[l]);
      Walk(d, {"Kinds"});
      DeleteVariable("NavGone");  // its queries now fail
      for (const auto& k : kinds) {
        ASSERT_TRUE(d.Select(1, k[0]));
        EXPECT_EQ(d.Details(), std::string(k[1]) + "/" + k[3 + l] + "/" + k[2]);
      }
    });
  }
  SetThreadUILanguage(ui);
  SetThreadLocale(locale);
}

TEST_F(Navigator, TheLastPathIsRestoredInANewProcessAsFarAsItIsFound) {
  PickName([](const NavigatorDialog& d) {
    Walk(d, {"Plant", "Line2", "Speed"});
    d.Click(IDOK);
  });
  // The peer shows no dialog before it registers, then restores the path.
  EXPECT_EQ(vard::test::RunPeer("navigator_peer.exe"),
            "[] shown=0 Deep Kinds [Plant]  | Line1 [Line2]  | [Speed]  |  | /NavSpeed2/String\n");
  SetLastPath("plant.Gone.Speed");
  PickName([](const NavigatorDialog& d) {
    EXPECT_EQ(d.View(), "Deep Kinds [Plant]  | Line1 Line2  |  |  | ");
  });
  EXPECT_EQ(LastPath(), "Plant");  // as the selection left it, in the pool's spelling
}

}  // namespace
