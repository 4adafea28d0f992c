#include "server/core/text_expansion.h"

#include <cstdio>

#include "server/core/formula_eval.h"
#include "server/core/formula_parser.h"
#include "server/core/names.h"

namespace vard::server {
namespace {

using formula::Status;

// Why a reference was not expanded.
constexpr std::string_view kSyntax = "<?syntax>";  // not a formula, or no closing brace
constexpr std::string_view kFormat = "<?format>";  // a selector or format not accepted

std::string_view Marker(Status status) {
  switch (status) {
    case Status::UnknownName: return "<?unknown>";
    case Status::TypeMismatch: return "<?type>";
    case Status::Domain: return "<?domain>";
    case Status::NoData: return "<?empty>";
    default: return "<?cycle>";  // Cycle and TooDeep
  }
}

// Collects the output up to its capacity and notes whether more was offered.
class Output {
 public:
  explicit Output(std::size_t capacity) : capacity_(capacity) {}
  void Add(std::string_view s) {
    if (s.size() > capacity_ - text_.size()) {
      text_.append(s.substr(0, capacity_ - text_.size()));
      full_ = true;
    } else {
      text_.append(s);
    }
  }
  bool full() const { return full_; }
  std::string& text() { return text_; }

 private:
  std::size_t capacity_;
  std::string text_;
  bool full_ = false;
};

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Length of the character starting at input[i].
std::size_t CharLength(std::string_view input, std::size_t i, LeadByteTest lead) {
  return lead != nullptr && i + 1 < input.size() && lead(static_cast<unsigned char>(input[i]))
             ? 2
             : 1;
}

void AddNumber(Output& out, double value, const char* format) {
  char buf[512];
  const int n = std::snprintf(buf, sizeof buf, format, value);
  if (n > 0) out.Add(std::string_view(buf, static_cast<std::size_t>(n) < sizeof buf ? n : sizeof buf - 1));
}

// One reference: the text between its braces, split at its first ':' outside quotes.
void Expand(const Pool::ReadView& view, std::string_view expr, std::string_view selector,
            bool has_selector, Output& out) {
  formula::Formula f;
  if (!formula::Compile(expr, &f)) return out.Add(kSyntax);
  selector = Trimmed(selector);
  const bool units = EqualsFolded(selector, "units");
  const bool description = EqualsFolded(selector, "description");
  if (units || description) {
    if (!f.IsName()) return out.Add(kFormat);
    const Variable* v = view.Find(f.names[0]);
    if (v == nullptr) return out.Add(Marker(Status::UnknownName));
    if (description) return out.Add(v->description);
    return out.Add(v->kind == Kind::Number ? std::string_view(v->units) : Marker(Status::TypeMismatch));
  }
  std::string format = "%g";
  if (has_selector) {
    if (!IsNumberFormat(selector)) return out.Add(kFormat);
    format.assign(selector);
  } else if (f.IsName()) {
    const Variable* v = view.Find(f.names[0]);
    if (v != nullptr && v->kind == Kind::String) return out.Add(v->text);
  }
  const formula::Outcome o = formula::Evaluate(f, view);
  if (o.status != Status::Ok) return out.Add(Marker(o.status));
  AddNumber(out, o.value, format.c_str());
}

}  // namespace

bool IsNumberFormat(std::string_view format) noexcept {
  constexpr std::string_view kFlags = "-+ #0";
  std::size_t i = 1;
  if (format.size() < 2 || format[0] != '%') return false;
  unsigned seen = 0;
  for (std::size_t flag; i < format.size() && (flag = kFlags.find(format[i])) != kFlags.npos; ++i) {
    if (seen & (1u << flag)) return false;
    seen |= 1u << flag;
  }
  auto number = [&](int max, bool need_digit) {
    int value = 0, digits = 0;
    for (; i < format.size() && format[i] >= '0' && format[i] <= '9' && digits < 3; ++i, ++digits)
      value = value * 10 + (format[i] - '0');
    return digits <= 2 && value <= max && (digits > 0 || !need_digit);
  };
  if (!number(60, false)) return false;
  if (i < format.size() && format[i] == '.') {
    ++i;
    if (!number(40, false)) return false;
  }
  return i + 1 == format.size() && std::string_view("feEgG").find(format[i]) != std::string_view::npos;
}

Expansion ExpandText(const Pool& pool, std::string_view input, std::size_t limit,
                     LeadByteTest lead_byte) {
  Output out(limit == 0 ? 0 : limit - 1);
  {
    const auto view = pool.Read();
    std::size_t i = 0;
    while (i < input.size() && !out.full()) {
      const char c = input[i];
      const bool doubled = i + 1 < input.size() && input[i + 1] == c;
      if ((c == '{' || c == '}') && doubled) {
        out.Add(std::string_view(&input[i], 1));
        i += 2;
      } else if (c == '{') {
        std::size_t j = i + 1, colon = std::string_view::npos;
        bool quoted = false;
        for (; j < input.size(); j += CharLength(input, j, lead_byte)) {
          if (input[j] == '\'') quoted = !quoted;  // '' inside quotes toggles twice
          else if (!quoted && input[j] == '}') break;
          else if (!quoted && input[j] == ':' && colon == std::string_view::npos) colon = j;
        }
        if (j >= input.size()) {
          out.Add(kSyntax);
          break;
        }
        const std::string_view inner = input.substr(i + 1, j - i - 1);
        if (colon == std::string_view::npos) {
          Expand(view, inner, {}, false, out);
        } else {
          const std::size_t at = colon - i - 1;
          Expand(view, inner.substr(0, at), inner.substr(at + 1), true, out);
        }
        i = j + 1;
      } else {
        // Plain text up to the next brace; a lone '}' is plain text too.
        std::size_t j = i + CharLength(input, i, lead_byte);
        while (j < input.size() && input[j] != '{' && input[j] != '}')
          j += CharLength(input, j, lead_byte);
        out.Add(input.substr(i, j - i));
        i = j;
      }
    }
  }
  Expansion result{std::move(out.text()), out.full()};
  if (result.cut && lead_byte != nullptr) {
    // Never end on the first half of a two-byte character.
    std::size_t i = 0;
    while (i < result.text.size()) {
      const std::size_t n = lead_byte(static_cast<unsigned char>(result.text[i])) ? 2 : 1;
      if (i + n > result.text.size()) break;
      i += n;
    }
    result.text.resize(i);
  }
  return result;
}

}  // namespace vard::server
