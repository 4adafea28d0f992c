// vardctl: the data pool from the command line. Exit status 0 on success,
// 1 when the pool or a file refuses (the message names the reply code or
// the fault), 2 for a command line that cannot be carried out as written.
#include <cstdio>
#include <exception>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/errors.h"
#include "vard32.h"

namespace vard::ctl {

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

namespace {

std::string Version() {
  const DWORD v = GetVard32Version();
  return "vardctl with VARD32.dll " + std::to_string(HIWORD(v)) + "." + std::to_string(LOWORD(v));
}

int Run(int argc, char** argv) {
  CLI::App app{"vardctl: look into the VARD data pool, move data in and out of files, plot "
               "waveforms.\nThe pool lives while some program uses it: run 'vardctl hold' to keep "
               "it between commands.",
               "vardctl"};
  app.set_version_flag("--version", Version);
  app.require_subcommand(1);
  app.fallthrough(false);
  AddTreeCommand(&app);
  AddVariableCommands(&app);
  AddTransferCommands(&app);
  AddAnalysisCommands(&app);
  AddPlotCommand(&app);
  AddCollectionCommands(&app);
  AddHoldCommand(&app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return 0;
}

}  // namespace
}  // namespace vard::ctl

int main(int argc, char** argv) {
  try {
    return vard::ctl::Run(argc, argv);
  } catch (const vard::ctl::UsageError& e) {
    std::fprintf(stderr, "vardctl: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "vardctl: %s\n", e.what());
    return 1;
  }
}
