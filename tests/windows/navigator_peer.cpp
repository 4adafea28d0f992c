// A second client for the navigator's and the enumeration's end-to-end
// tests. The dialog steps open the dialog, print what it shows on one line,
// and cancel.
//   navigator_peer restore              the restored view, name and type
//   navigator_peer language LANGID ITEM caption, type of Kinds.ITEM, Cancel's text
//   navigator_peer uninitialised        GetVariableName without InitDataManager
//   navigator_peer churn PATH           deletes the subtree PATH, creates PATH.late
//   navigator_peer hold-enumeration     opens an enumeration, signals, waits to be killed
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/windows/navigator_driver.h"
#include "tests/windows/peer.h"
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
  } else if (step == "churn" && argc >= 3) {
    InitDataManager();
    const short deleted = DeleteSubTree(argv[2]);
    const short created = CreateNumber("EnumLate", 1, "", nullptr, (std::string(argv[2]) + ".late").c_str());
    ExitDataManager();
    line = std::to_string(deleted) + " " + std::to_string(created);
  } else if (step == "hold-enumeration") {
    InitDataManager();
    char path[258];
    if (FindFirstVariable(vardNavigateAll, name, path) != 0) vard::test::SignalReadyAndHang();
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
