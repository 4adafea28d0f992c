// A second process for the navigator's end-to-end tests: opens the dialog
// before InitDataManager (none must show), then after it, and prints the
// restored view, name and type on one line.
#include <cstdio>
#include <string>

#include "tests/windows/navigator_driver.h"
#include "vard32.h"

using vard::test::NavigatorDialog;

int main() {
  char name[22] = "junk";
  auto open = [&] { GetVariableName(nullptr, vardNavigateAll, name); };
  const bool shown = vard::test::RunNavigator(
      open, [](const NavigatorDialog&) {}, 2000);
  std::printf("[%s] shown=%d ", name, shown ? 1 : 0);
  InitDataManager();
  vard::test::RunNavigator(open, [](const NavigatorDialog& d) {
    std::printf("%s/%s/%s\n", d.View().c_str(), d.Text(NavigatorDialog::kName).c_str(),
                d.Text(NavigatorDialog::kType).c_str());
  });
  ExitDataManager();
  return 0;
}
