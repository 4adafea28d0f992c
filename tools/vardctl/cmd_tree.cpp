// tree: the pool's variables by path, each with its kind and a short value.
#include <memory>
#include <string>
#include <vector>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/errors.h"
#include "tools/vardctl/pool.h"
#include "tools/vardctl/text.h"
#include "tools/vardctl/tree_view.h"

namespace vard::ctl {

namespace {

struct TreeArgs {
  std::string path;
  bool json = false;
};

// An open enumeration, closed on destruction.
class FindCursor {
 public:
  FindCursor() { handle_ = FindFirstVariable(vardNavigateAll, name_, path_); }
  ~FindCursor() {
    if (handle_ != 0) FindVariableClose(handle_);
  }
  FindCursor(const FindCursor&) = delete;
  FindCursor& operator=(const FindCursor&) = delete;

  // The current variable into `entry`; false at the end.
  bool Take(TreeEntry* entry) {
    if (handle_ == 0 || done_) return false;
    entry->name = name_;
    entry->path = path_;
    const short code = FindNextVariable(handle_, name_, path_);
    if (code == vardNoSuchData) done_ = true;
    else Check(code, "the enumeration");
    return true;
  }

 private:
  long handle_ = 0;
  bool done_ = false;
  char name_[36] = {};  // the enumeration's reply fields, with room to spare
  char path_[258] = {};
};

// Fills in kind and value; false when the variable went away meanwhile.
bool Describe(TreeEntry* e, JsonObject* json) {
  short kind = vardUnknown;
  if (GetType(e->name.c_str(), &kind) != vardOK) return false;
  e->kind = KindName(kind);
  json->Add("name", JsonString(Utf8FromAnsi(e->name)));
  json->Add("path", JsonString(Utf8FromAnsi(e->path)));
  json->Add("type", JsonString(e->kind));
  if (kind == vardNumerical) {
    double value = 0;
    char units[10] = {};
    if (GetNumber(e->name.c_str(), &value) != vardOK || GetUnits(e->name.c_str(), units) != vardOK) return false;
    e->value = Shortest(value) + (units[0] ? std::string(" ") + units : "");
    json->Add("value", JsonNumber(value));
    json->Add("units", JsonString(Utf8FromAnsi(units)));
  } else if (kind == vardString) {
    char text[256] = {};
    if (GetString(e->name.c_str(), text, sizeof text) != vardOK) return false;
    const std::string s = text;
    e->value = "\"" + (s.size() > 40 ? s.substr(0, 37) + "..." : s) + "\"";
    json->Add("value", JsonString(Utf8FromAnsi(s)));
  } else {
    try {
      const LockedWaveform w(e->name);
      e->value = WaveformSummary(w.shape());
      json->Add("sample_type", JsonString(SampleTypeName(w.shape().type)));
      json->Add("length", std::to_string(w.shape().length));
      json->Add("blocks", std::to_string(w.shape().blocks));
    } catch (const Failure&) {
      return false;
    }
  }
  return true;
}

void Tree(const TreeArgs& a) {
  CheckLength(a.path, kMaxPath, "the path");
  PoolSession pool;
  std::vector<TreeEntry> entries;
  {
    FindCursor cursor;
    for (TreeEntry e; cursor.Take(&e);)
      if (PathWithin(e.path, a.path)) entries.push_back(e);
  }
  std::vector<TreeEntry> shown;
  std::string list;
  for (TreeEntry& e : entries) {
    JsonObject json;
    if (!Describe(&e, &json)) continue;
    shown.push_back(e);
    list += (list.empty() ? "" : ",") + json.str();
  }
  if (a.json) {
    JsonObject o;
    o.Add("path", JsonString(Utf8FromAnsi(a.path)));
    o.Add("variables", "[" + list + "]");
    Print(o.str() + "\n");
  } else {
    Print(TreeText(shown));
  }
}


}  // namespace

void AddTreeCommand(CLI::App* app) {
  auto tree = std::make_shared<TreeArgs>();
  CLI::App* c = app->add_subcommand("tree", "List the pool's variables by path, each with its "
                                            "type and a short value");
  c->add_option("PATH", tree->path, "only the variables at this path or below ('Plant.Line1')");
  c->add_flag("--json", tree->json, "print a JSON object with a list of the variables");
  c->callback([tree] { Tree(*tree); });
}

}  // namespace vard::ctl
