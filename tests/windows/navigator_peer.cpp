// A second process for the navigator's end-to-end tests. It opens the
// dialog, prints what it shows on one line, and cancels.
//   navigator_peer restore              the restored view, name and type
//   navigator_peer language LANGID ITEM caption, type of Kinds.ITEM, Cancel's text
//   navigator_peer uninitialised        GetVariableName without InitDataManager
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/windows/navigator_driver.h"
#include "vard32.h"

using vard::test::NavigatorDialog;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string step = argv[1];
  std::string line;
  char name[22] = "junk";
  if (step == "uninitialised") {
    const bool shown = vard::test::RunNavigator(
        [&] { GetVariableName(nullptr, vardNavigateAll, name); }, [](const NavigatorDialog&) {},
        2000);
    line.append("[").append(name).append("] shown=").append(shown ? "1" : "0");
  } else {
    InitDataManager();
    if (step == "language" && argc >= 4) {
      // Windows looks resources up in the thread's UI language, Wine in the
      // thread's locale: set both.
      const auto language = static_cast<LANGID>(std::atoi(argv[2]));
      SetThreadUILanguage(language);
      SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    }
    vard::test::RunNavigator([&] { GetVariableName(nullptr, vardNavigateAll, name); },
                             [&](const NavigatorDialog& d) {
                               if (step == "restore") {
                                 line = d.View() + "/" + d.Text(NavigatorDialog::kName) + "/" +
                                        d.Text(NavigatorDialog::kType);
                               } else {
                                 d.Select(0, "Kinds");
                                 d.Select(1, argv[3]);
                                 line = d.Text() + "|" + d.Text(NavigatorDialog::kType) + "|" +
                                        d.Text(IDCANCEL);
                               }
                             });
    ExitDataManager();
  }
  std::printf("%s\n", line.c_str());
  return 0;
}
