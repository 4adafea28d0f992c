// The command groups of vardctl; each adds its subcommands to the program.
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <string>

namespace vard::ctl {

void AddVariableCommands(CLI::App* app);      // get, set, info, rm
void AddTreeCommand(CLI::App* app);           // tree
void AddTransferCommands(CLI::App* app);      // import, export
void AddAnalysisCommands(CLI::App* app);      // stats, hist, crossings
void AddCollectionCommands(CLI::App* app);    // save, load
void AddPlotCommand(CLI::App* app);           // plot
void AddHoldCommand(CLI::App* app);           // hold

// Writes `text` to standard output as it is.
void Print(const std::string& text);

// --from, --to and --block: the part of a waveform a command looks at.
struct RangeArgs {
  double from = -INFINITY;
  double to = INFINITY;
  int block = 0;

  void AddTo(CLI::App* command) {
    command->add_option("--from", from, "the first X of the range (default: the block's start)");
    command->add_option("--to", to, "the last X of the range (default: the block's end)");
    command->add_option("--block", block, "the block (default 0)");
  }
};

}  // namespace vard::ctl
