// Numbers and texts as vardctl reads and prints them. Portable.
#pragma once

#include <string>
#include <string_view>

namespace vard::ctl {

// The shortest decimal form that reads back as the same double ("0.1",
// "1e+300", "nan", "-inf").
std::string Shortest(double value);

// A decimal number, blanks around it allowed, a leading '+' too, "nan" and
// "inf" as well; false unless the whole field is one number.
bool ParseNumber(std::string_view field, double* value);

// Six significant digits, for people: "3.25", "1.5e-07", "nan".
std::string Readable(double value);

// A JSON string literal of a UTF-8 text, quotes included.
std::string JsonString(std::string_view text);

// A JSON number; NaN and the infinities, which JSON cannot write, are null.
std::string JsonNumber(double value);

// A JSON object built field by field from values that are JSON already.
class JsonObject {
 public:
  void Add(std::string_view key, const std::string& json);
  std::string str() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

}  // namespace vard::ctl
