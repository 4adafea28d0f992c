// hold: keeping the pool alive between commands. The server ends a few
// seconds after its last client; a held pool keeps what one command leaves
// for the next.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/pool.h"

namespace vard::ctl {

namespace {

void Hold(double seconds) {
  PoolSession pool;
  Print("pool ready, held by process " + std::to_string(GetCurrentProcessId()) +
        (seconds >= 0 ? " for " + std::to_string(seconds) + " s\n"
                      : "; press Enter (or end the input) to let it go\n"));
  std::fflush(stdout);
  if (seconds >= 0) {
    Sleep(static_cast<DWORD>(seconds * 1000));
    return;
  }
  for (int c = 0; c != EOF && c != '\n';) c = std::getchar();
}

}  // namespace

void AddHoldCommand(CLI::App* app) {
  auto seconds = std::make_shared<double>(-1);
  CLI::App* c = app->add_subcommand(
      "hold", "Start the pool and keep it while other commands run (the pool ends a few "
              "seconds after its last program)");
  c->add_option("--seconds", *seconds, "hold it this long (default: until Enter is pressed)");
  c->callback([seconds] { Hold(*seconds); });
}

}  // namespace vard::ctl
