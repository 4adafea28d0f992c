#include "link/export_table.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace vard::exports {
namespace {

// The names whose ordinals come first, in their order from 2.
constexpr std::string_view kPinned[] = {"GetVard32Version", "VardSharedMemAllocate",
                                        "VardSharedMemFree", "VardSharedMemLock",
                                        "VardSharedMemUnlock"};
constexpr int kFirstOrdinal = 2;

[[noreturn]] void Fail(std::string why) { throw std::invalid_argument(std::move(why)); }

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// "Name@N" into its parts.
void Decorated(std::string_view word, std::string& name, int& stack, int line) {
  const auto at = word.find('@');
  const std::string_view n = word.substr(0, at);
  const std::string_view digits = at == std::string_view::npos ? "" : word.substr(at + 1);
  if (n.empty() || !std::all_of(n.begin(), n.end(), IsNameChar) || digits.empty() ||
      digits.size() > 3 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    Fail("line " + std::to_string(line) + ": not Name@N: " + std::string(word));
  }
  name = std::string(n);
  stack = std::stoi(std::string(digits));
  if (stack % 4 != 0) Fail("line " + std::to_string(line) + ": stack size not a multiple of 4");
}

}  // namespace

std::vector<Export> Parse(std::string_view text) {
  std::vector<Export> out;
  int line = 0;
  while (!text.empty()) {
    ++line;
    const auto end = text.find('\n');
    std::string_view s = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    s = Trim(s.substr(0, s.find(';')));
    if (s.empty() || s == "EXPORTS" || s.starts_with("LIBRARY")) continue;
    Export e;
    const auto eq = s.find('=');
    Decorated(Trim(s.substr(0, eq)), e.name, e.stack, line);
    if (eq != std::string_view::npos) {
      int target_stack = 0;
      Decorated(Trim(s.substr(eq + 1)), e.target, target_stack, line);
      if (target_stack != e.stack) Fail("line " + std::to_string(line) + ": stack sizes differ");
    }
    out.push_back(std::move(e));
  }
  return out;
}

void PinOrdinals(std::vector<Export>& list) {
  std::map<std::string, const Export*> by_name;  // byte-wise ascending
  for (const Export& e : list) {
    if (!by_name.emplace(e.name, &e).second) Fail("listed twice: " + e.name);
  }
  for (const Export& e : list) {
    if (e.target.empty()) continue;
    const auto t = by_name.find(e.target);
    if (t == by_name.end() || !t->second->target.empty() || t->second->stack != e.stack) {
      Fail("second name without a matching first name: " + e.name);
    }
  }
  std::map<std::string, int> ordinal;
  int next = kFirstOrdinal;
  for (std::string_view p : kPinned) {
    if (!by_name.count(std::string(p))) Fail("missing: " + std::string(p));
    ordinal[std::string(p)] = next++;
  }
  for (const auto& [name, e] : by_name) {
    if (!ordinal.count(name)) ordinal[name] = next++;
  }
  for (Export& e : list) e.ordinal = ordinal[e.name];
  std::sort(list.begin(), list.end(),
            [](const Export& a, const Export& b) { return a.ordinal < b.ordinal; });
}

namespace {

std::string Definition(const std::vector<Export>& exports, bool decorated) {
  std::string out =
      "; Generated from link/exports.list by write_exports; do not edit.\n"
      "LIBRARY \"VARD32.dll\"\nEXPORTS\n";
  auto word = [&](const std::string& name, int stack) {
    return decorated ? name + "@" + std::to_string(stack) : name;
  };
  for (const Export& e : exports) {
    out += "  " + word(e.name, e.stack);
    if (!e.target.empty()) out += " = " + word(e.target, e.stack);
    out += " @" + std::to_string(e.ordinal) + "\n";
  }
  return out;
}

}  // namespace

std::string Definition32(const std::vector<Export>& exports) { return Definition(exports, true); }
std::string Definition64(const std::vector<Export>& exports) { return Definition(exports, false); }

std::string TestRows(const std::vector<Export>& exports) {
  std::string out = "// Generated from link/exports.list by write_exports; do not edit.\n";
  for (const Export& e : exports) {
    out += "{\"" + e.name + "\", " + std::to_string(e.ordinal) + ", \"" + e.target + "\"},\n";
  }
  return out;
}

}  // namespace vard::exports
