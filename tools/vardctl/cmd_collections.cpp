// save and load: variables to a collection file and back.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/errors.h"
#include "tools/vardctl/pool.h"

namespace vard::ctl {

namespace {

// The server runs in its own process and folder: it needs the full path.
std::string FullPath(const std::string& file) {
  char full[MAX_PATH] = {};
  const DWORD n = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) throw UsageError("cannot make a full path of " + file);
  CheckLength(full, kMaxFilePath, "the file's full path");
  return full;
}

struct SaveArgs {
  std::string file, comment;
  std::vector<std::string> names;
  bool force_integer = false, force_event = false;
};

void Save(const SaveArgs& a) {
  for (const std::string& name : a.names) CheckLength(name, kMaxName, "the name");
  CheckLength(a.comment, 4095, "the comment");
  const std::string path = FullPath(a.file);
  const short options = static_cast<short>((a.force_integer ? vardForceInteger : 0) |
                                           (a.force_event ? vardForceEvent : 0));
  PoolSession pool;
  short coll = 0;
  Check(CreateCollection(path.c_str(), a.comment.c_str(), &coll), a.file);
  // A failure leaves the collection open: it goes with this program's
  // session, and the file stays as it was.
  for (const std::string& name : a.names) Check(AddToCollection(coll, name.c_str(), "", options), name);
  Check(CloseCollection(coll), a.file);
}

struct LoadArgs {
  std::string file, prefix;
};

void Load(const LoadArgs& a) {
  CheckLength(a.prefix, kMaxName, "the prefix");
  const std::string path = FullPath(a.file);
  PoolSession pool;
  Check(LoadCollection(path.c_str(), a.prefix.c_str()), a.file);
}

}  // namespace

void AddCollectionCommands(CLI::App* app) {
  auto save = std::make_shared<SaveArgs>();
  CLI::App* c = app->add_subcommand("save", "Save variables to a collection file, with all it "
                                            "takes to create them again (the file is replaced "
                                            "whole, or not at all)");
  c->add_option("FILE", save->file, "the collection file")->required();
  c->add_option("NAME", save->names, "the variables")->required();
  c->add_option("--comment", save->comment, "a comment stored in the file");
  c->add_flag("--force-integer", save->force_integer, "store float waveforms as 16-bit integers");
  c->add_flag("--force-event", save->force_event, "store analog waveforms as digital events");
  c->callback([save] { Save(*save); });

  auto load = std::make_shared<LoadArgs>();
  c = app->add_subcommand("load", "Recreate the variables of a collection file in the pool");
  c->add_option("FILE", load->file, "the collection file")->required();
  c->add_option("--prefix", load->prefix, "the prefix the variables are loaded under");
  c->callback([load] { Load(*load); });
}

}  // namespace vard::ctl
