// get, set, info, rm: one variable at a time.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/errors.h"
#include "tools/vardctl/pool.h"
#include "tools/vardctl/text.h"

namespace vard::ctl {

namespace {

std::string Description(const std::string& name) {
  char text[144] = {};
  Check(GetDescription(name.c_str(), text, sizeof text), name);
  return text;
}

struct Number {
  double value = 0;
  std::string units;
};

Number NumberOf(const std::string& name) {
  Number n;
  char units[10] = {};
  Check(GetNumber(name.c_str(), &n.value), name);
  Check(GetUnits(name.c_str(), units), name);
  n.units = units;
  return n;
}

std::string StringOf(const std::string& name) {
  char text[256] = {};
  Check(GetString(name.c_str(), text, sizeof text), name);
  return text;
}

std::string WithUnits(const std::string& value, const std::string& units) {
  return units.empty() ? value : value + " " + units;
}

std::string JsonText(const std::string& ansi) { return JsonString(Utf8FromAnsi(ansi)); }

struct BlockInfo {
  double trigger = 0;
  short year = 0, month = 0, day = 0;
};

// `description` and `blocks` when the caller has them.
std::string WaveformJson(const std::string& name, short kind, const LockedWaveform& w,
                         const std::string* description, const std::vector<BlockInfo>& blocks) {
  const WaveformShape& s = w.shape();
  JsonObject o;
  o.Add("name", JsonText(name));
  o.Add("type", JsonString(KindName(kind)));
  if (description) o.Add("description", JsonText(*description));
  o.Add("sample_type", JsonString(SampleTypeName(s.type)));
  o.Add("length", std::to_string(s.length));
  o.Add("blocks", std::to_string(s.blocks));
  JsonObject x, y;
  x.Add("x0", JsonNumber(s.x0));
  x.Add("step", JsonNumber(s.x_step));
  x.Add("units", JsonText(s.x_units));
  y.Add("y0", JsonNumber(s.y0));
  y.Add("step", JsonNumber(s.y_step));
  y.Add("units", JsonText(s.y_units));
  o.Add("x", x.str());
  o.Add("y", y.str());
  if (!blocks.empty()) {
    std::string list;
    for (const BlockInfo& b : blocks) {
      JsonObject j;
      j.Add("trigger_time", JsonNumber(b.trigger));
      j.Add("year", std::to_string(b.year));
      j.Add("month", std::to_string(b.month));
      j.Add("day", std::to_string(b.day));
      list += (list.empty() ? "" : ",") + j.str();
    }
    o.Add("block_info", "[" + list + "]");
  }
  return o.str();
}

// --- get --------------------------------------------------------------------

struct GetArgs {
  std::string name;
  bool json = false;
};

void Get(const GetArgs& a) {
  PoolSession pool;
  const short kind = KindOf(a.name);
  JsonObject o;
  o.Add("name", JsonText(a.name));
  o.Add("type", JsonString(KindName(kind)));
  if (kind == vardNumerical) {
    const Number n = NumberOf(a.name);
    o.Add("value", JsonNumber(n.value));
    o.Add("units", JsonText(n.units));
    Print(a.json ? o.str() + "\n" : WithUnits(Shortest(n.value), n.units) + "\n");
  } else if (kind == vardString) {
    const std::string text = StringOf(a.name);
    o.Add("value", JsonText(text));
    Print(a.json ? o.str() + "\n" : text + "\n");
  } else {
    const LockedWaveform w(a.name);
    Print(a.json ? WaveformJson(a.name, kind, w, nullptr, {}) + "\n" : WaveformSummary(w.shape()) + "\n");
  }
}

// --- set --------------------------------------------------------------------

struct SetArgs {
  std::string name, value, units, path, description;
  bool as_string = false;
  bool units_given = false, path_given = false, description_given = false;
};

void Set(const SetArgs& a) {
  CheckLength(a.name, kMaxName, "the name");
  CheckLength(a.units, kMaxUnits, "the units");
  CheckLength(a.path, kMaxPath, "the path");
  CheckLength(a.description, kMaxDescription, "the description");
  double number = 0;
  const bool numeric = !a.as_string && ParseNumber(a.value, &number);
  PoolSession pool;
  short kind = vardUnknown;
  const short code = GetType(a.name.c_str(), &kind);
  if (code == vardNoSuchObject) {  // a new variable
    if (numeric) {
      Check(CreateNumber(a.name.c_str(), number, a.units.c_str(), a.description.c_str(),
                         a.path.c_str()),
            a.name);
      return;
    }
    if (a.units_given) throw UsageError("a string has no units: leave out --units");
    CheckLength(a.value, kMaxString, "the text");
    Check(CreateString(a.name.c_str(), a.value.c_str(), a.path.c_str()), a.name);
  } else {
    Check(code, a.name);
    if (a.path_given) throw UsageError(a.name + " exists: --path only places a new variable");
    if (kind == vardNumerical) {
      if (a.as_string || !numeric)
        throw UsageError(a.name + " is a number: \"" + a.value + "\" is not one");
      Check(SetNumber(a.name.c_str(), number), a.name);
      if (a.units_given) Check(SetUnits(a.name.c_str(), a.units.c_str()), a.name);
    } else if (kind == vardString) {
      if (a.units_given) throw UsageError(a.name + " is a string: it has no units");
      CheckLength(a.value, kMaxString, "the text");
      Check(SetString(a.name.c_str(), a.value.c_str()), a.name);
    } else {
      throw UsageError(a.name + " is a waveform: use 'vardctl import' to fill it");
    }
  }
  if (a.description_given) Check(SetDescription(a.name.c_str(), a.description.c_str()), a.name);
}

// --- info -------------------------------------------------------------------

struct InfoArgs {
  std::string name;
  bool json = false;
};

constexpr int kBlocksShown = 8;  // block lines in the text form; JSON lists all

void Info(const InfoArgs& a) {
  PoolSession pool;
  const short kind = KindOf(a.name);
  const std::string description = Description(a.name);
  if (kind == vardWaveform || kind == vardDigitalWaveform) {
    const LockedWaveform w(a.name);
    const WaveformShape& s = w.shape();
    std::vector<BlockInfo> blocks(static_cast<std::size_t>(s.blocks));
    for (int b = 0; b < s.blocks; ++b) {
      BlockInfo& i = blocks[static_cast<std::size_t>(b)];
      Check(GetBlockInfo(w.src(), static_cast<short>(b), &i.trigger, &i.year, &i.month, &i.day), a.name);
    }
    if (a.json) {
      Print(WaveformJson(a.name, kind, w, &description, blocks) + "\n");
      return;
    }
    std::string text = "name         " + a.name + "\ntype         " + KindName(kind) + " (" +
                       SampleTypeName(s.type) + " samples)\ndescription  " + description +
                       "\nlength       " + std::to_string(s.length) + " samples in " +
                       std::to_string(s.blocks) + (s.blocks == 1 ? " block" : " blocks") +
                       "\nX axis       X0 " + Shortest(s.x0) + ", step " +
                       WithUnits(Shortest(s.x_step), s.x_units);
    if (s.x_step > 0) text += " (" + Readable(1 / s.x_step) + " per " + (s.x_units.empty() ? "unit" : s.x_units) + ")";
    text += "\nY axis       Y0 " + Shortest(s.y0) + ", step " + WithUnits(Shortest(s.y_step), s.y_units) + "\n";
    for (int b = 0; b < s.blocks && b < kBlocksShown; ++b) {
      const BlockInfo& i = blocks[static_cast<std::size_t>(b)];
      char date[32];
      std::snprintf(date, sizeof date, "%04d-%02d-%02d", i.year, i.month, i.day);
      text += "block " + std::to_string(b) + std::string(b < 10 ? "      " : "     ") +
              "trigger " + Shortest(i.trigger) + ", " + date + "\n";
    }
    if (s.blocks > kBlocksShown)
      text += "             (" + std::to_string(s.blocks - kBlocksShown) + " more blocks: --json lists all)\n";
    Print(text);
    return;
  }
  JsonObject o;
  o.Add("name", JsonText(a.name));
  o.Add("type", JsonString(KindName(kind)));
  o.Add("description", JsonText(description));
  std::string text = "name         " + a.name + "\ntype         " + KindName(kind) +
                     "\ndescription  " + description + "\n";
  if (kind == vardNumerical) {
    const Number n = NumberOf(a.name);
    o.Add("value", JsonNumber(n.value));
    o.Add("units", JsonText(n.units));
    text += "value        " + Shortest(n.value) + "\nunits        " + n.units + "\n";
  } else {
    const std::string value = StringOf(a.name);
    o.Add("value", JsonText(value));
    text += "value        " + value + "\n";
  }
  Print(a.json ? o.str() + "\n" : text);
}

// --- rm ---------------------------------------------------------------------

struct RmArgs {
  std::vector<std::string> names;
  std::string tree;
};

void Rm(const RmArgs& a) {
  if (a.names.empty() == a.tree.empty())
    throw UsageError("rm takes either names or --tree PATH");
  CheckLength(a.tree, kMaxPath, "the path");
  for (const std::string& name : a.names) CheckLength(name, kMaxName, "the name");
  PoolSession pool;
  if (!a.tree.empty()) Check(DeleteSubTree(a.tree.c_str()), a.tree);
  for (const std::string& name : a.names) Check(DeleteVariable(name.c_str()), name);
}

}  // namespace

void AddVariableCommands(CLI::App* app) {
  auto get = std::make_shared<GetArgs>();
  CLI::App* c = app->add_subcommand("get", "Print a variable's value (a waveform: a summary)");
  c->add_option("NAME", get->name, "the variable")->required();
  c->add_flag("--json", get->json, "print a JSON object");
  c->callback([get] { Get(*get); });

  auto set = std::make_shared<SetArgs>();
  c = app->add_subcommand(
      "set", "Set a number or a string, creating it when the pool does not hold it (a VALUE "
             "that reads as a number makes a number)");
  c->add_option("NAME", set->name, "the variable")->required();
  c->add_option("VALUE", set->value, "the new value")->required();
  c->add_option("--units", set->units, "a number's units (at most 9 bytes)");
  c->add_option("--path", set->path, "where a new variable shows in the tree, its own item last ('Plant.Line1.Speed')");
  c->add_option("--description", set->description, "the variable's description");
  c->add_flag("--string", set->as_string, "make a new variable a string whatever VALUE is");
  c->callback([set, c] {
    set->units_given = c->count("--units") > 0;
    set->path_given = c->count("--path") > 0;
    set->description_given = c->count("--description") > 0;
    Set(*set);
  });

  auto info = std::make_shared<InfoArgs>();
  c = app->add_subcommand("info", "Describe a variable: type, description, units; a "
                                  "waveform's axes, length, blocks, sample type, trigger times");
  c->add_option("NAME", info->name, "the variable")->required();
  c->add_flag("--json", info->json, "print a JSON object");
  c->callback([info] { Info(*info); });

  auto rm = std::make_shared<RmArgs>();
  c = app->add_subcommand("rm", "Delete variables, or every variable of a subtree");
  c->add_option("NAME", rm->names, "the variables");
  c->add_option("--tree", rm->tree, "delete the subtree at this path ('Plant.Line1')");
  c->callback([rm] { Rm(*rm); });
}

}  // namespace vard::ctl
