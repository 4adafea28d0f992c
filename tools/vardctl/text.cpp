#include "tools/vardctl/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vard::ctl {

std::string Shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

bool ParseNumber(std::string_view field, double* value) {
  while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty() || field.front() == '+') return false;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), *value);
  return error == std::errc() && end == field.data() + field.size();
}

std::string Readable(double value) {
  if (!std::isfinite(value)) return Shortest(value);
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) { return std::isfinite(value) ? Shortest(value) : "null"; }

void JsonObject::Add(std::string_view key, const std::string& json) {
  if (!body_.empty()) body_ += ',';
  body_ += JsonString(key) + ":" + json;
}

}  // namespace vard::ctl
