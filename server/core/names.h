// Rules for variable names and paths, and the case folding the pool uses.
//
// Names and paths are compared without regard to ASCII case ("Speed" and
// "SPEED" are one variable) but kept exactly as they were created, so that
// listings show what the user typed. Only A-Z/a-z fold: bytes >= 0x80 are
// ANSI text in whatever code page the client uses, and folding them would
// make equality depend on that code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vard::server {

inline constexpr std::size_t kMaxNameLength = 29;
inline constexpr std::size_t kMaxPathLength = 255;
inline constexpr std::size_t kMaxDescriptionLength = 143;
inline constexpr std::size_t kMaxUnitsLength = 9;
inline constexpr std::size_t kMaxStringLength = 255;

constexpr char FoldAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(std::string_view a, std::string_view b) noexcept;

// FNV-1a over the folded bytes: equal under EqualsFolded means equal hash.
std::size_t HashFolded(std::string_view s) noexcept;

// Hash and equality for containers keyed by name; transparent, so a lookup
// with a string_view straight out of a request allocates nothing.
struct FoldedHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept { return HashFolded(s); }
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualsFolded(a, b);
  }
};

// A name is 1 to 29 bytes, not all blanks, with no control characters.
bool IsValidName(std::string_view name) noexcept;

// A path is empty (the root) or '.'-separated levels, at most 255 bytes in
// all; every level follows the same rules as a name except for its length.
// "a..b", ".a" and "a." have an empty level and are refused.
bool IsValidPath(std::string_view path) noexcept;

// Whether `path` lies in the subtree `prefix`: equal to it, or continuing it
// with further whole levels. "a.b" holds "a.b" and "a.b.c" but not "a.bc".
bool PathInSubtree(std::string_view path, std::string_view prefix) noexcept;

// The text cut to at most `max` bytes.
constexpr std::string_view CutText(std::string_view text, std::size_t max) noexcept {
  return text.substr(0, text.size() < max ? text.size() : max);
}

}  // namespace vard::server
