#include "server/core/names.h"

namespace vard::server {
namespace {

// Blanks only: such a name would look empty in every list that shows it.
bool AllBlank(std::string_view s) noexcept {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

bool HasControl(std::string_view s) noexcept {
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

bool IsValidLevel(std::string_view level) noexcept {
  return !level.empty() && !AllBlank(level) && !HasControl(level);
}

}  // namespace

bool EqualsFolded(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::size_t HashFolded(std::string_view s) noexcept {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(FoldAscii(c));
    h *= 0x100000001b3ull;
  }
  return static_cast<std::size_t>(h ^ (h >> 32));
}

bool IsValidName(std::string_view name) noexcept {
  return name.size() <= kMaxNameLength && IsValidLevel(name);
}

bool IsValidPath(std::string_view path) noexcept {
  if (path.size() > kMaxPathLength) return false;
  if (path.empty()) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = path.find('.', start);
    const std::string_view level =
        path.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (!IsValidLevel(level)) return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

bool PathInSubtree(std::string_view path, std::string_view prefix) noexcept {
  if (path.size() < prefix.size()) return false;
  if (!EqualsFolded(path.substr(0, prefix.size()), prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '.';
}

}  // namespace vard::server
