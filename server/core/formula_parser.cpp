#include "server/core/formula_parser.h"

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>

#include "server/core/names.h"

namespace vard::server::formula {
namespace {

enum class Tok : std::uint8_t {
  End,
  Number,
  Ident,   // an unquoted name, a constant or a function
  Quoted,  // a name in single quotes
  LParen,
  RParen,
  Comma,
  Plus,
  Minus,
  Star,
  Slash,
  Caret,
  Lt,
  Le,
  Gt,
  Ge,
  Eq,
  Ne,
};

struct Function {
  std::string_view name;
  Fn fn;
  int arity;  // 0: min and max, any count from 1
};

constexpr Function kFunctions[] = {
    {"abs", Fn::Abs, 1},     {"sqrt", Fn::Sqrt, 1},   {"exp", Fn::Exp, 1},
    {"ln", Fn::Ln, 1},       {"log10", Fn::Log10, 1}, {"sin", Fn::Sin, 1},
    {"cos", Fn::Cos, 1},     {"tan", Fn::Tan, 1},     {"asin", Fn::Asin, 1},
    {"acos", Fn::Acos, 1},   {"atan", Fn::Atan, 1},   {"round", Fn::Round, 1},
    {"floor", Fn::Floor, 1}, {"ceil", Fn::Ceil, 1},   {"atan2", Fn::Atan2, 2},
    {"min", Fn::Minimum, 0}, {"max", Fn::Maximum, 0},
};
constexpr std::pair<std::string_view, Fn> kReductions[] = {
    {"mean", Fn::Mean}, {"rms", Fn::Rms}, {"pp", Fn::PeakToPeak}};

bool IsIdentStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || u >= 0x80;
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c) || c == '.'; }

struct Failure {};  // unwinds the parser to Compile; never leaves this file

class Parser {
 public:
  Parser(std::string_view text, Formula& out) : text_(text), out_(out) {}

  void Run() {
    Next();
    Comparison();
    if (tok_ != Tok::End) Fail("unexpected text after the formula");
  }
  std::size_t error_position() const { return error_position_; }
  const char* error_message() const { return error_message_; }

 private:
  [[noreturn]] void Fail(const char* message) { FailAt(tok_pos_, message); }
  [[noreturn]] void FailAt(std::size_t position, const char* message) {
    error_position_ = position;
    error_message_ = message;
    throw Failure{};
  }

  // --- the scanner -------------------------------------------------------

  void Next() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
    tok_pos_ = pos_;
    if (pos_ >= text_.size()) {
      tok_ = Tok::End;
      return;
    }
    const char c = text_[pos_];
    if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
      ScanNumber();
    } else if (IsIdentStart(c)) {
      const std::size_t start = pos_;
      while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
      tok_ = Tok::Ident;
      tok_text_.assign(text_.substr(start, pos_ - start));
    } else if (c == '\'') {
      ScanQuoted();
    } else {
      ScanOperator(c);
    }
  }

  void ScanNumber() {
    const std::size_t start = pos_;
    auto digits = [&] {
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    };
    digits();
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      digits();
    }
    // An exponent only when digits follow: "2e" is 2 and then a name.
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      std::size_t p = pos_ + 1;
      if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
      if (p < text_.size() && IsDigit(text_[p])) {
        pos_ = p;
        digits();
      }
    }
    // strtod in the C locale (the server never changes it): a value too
    // small for a double becomes 0 or a subnormal, which is what was meant;
    // one too large becomes infinite and is refused.
    const std::string lexeme(text_.substr(start, pos_ - start));
    char* end = nullptr;
    tok_value_ = std::strtod(lexeme.c_str(), &end);
    if (end != lexeme.c_str() + lexeme.size()) FailAt(start, "malformed number");
    if (!std::isfinite(tok_value_)) FailAt(start, "number out of range");
    tok_ = Tok::Number;
  }

  void ScanQuoted() {
    const std::size_t start = pos_++;
    tok_text_.clear();
    for (;;) {
      if (pos_ >= text_.size()) FailAt(start, "name without its closing quote");
      const char c = text_[pos_++];
      if (c != '\'') {
        tok_text_ += c;
      } else if (pos_ < text_.size() && text_[pos_] == '\'') {
        tok_text_ += '\'';  // '' stands for one quote
        ++pos_;
      } else {
        break;
      }
    }
    if (tok_text_.empty()) FailAt(start, "empty name");
    tok_ = Tok::Quoted;
  }

  void ScanOperator(char c) {
    const char d = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
    std::size_t length = 1;
    switch (c) {
      case '(': tok_ = Tok::LParen; break;
      case ')': tok_ = Tok::RParen; break;
      case ',': tok_ = Tok::Comma; break;
      case '+': tok_ = Tok::Plus; break;
      case '-': tok_ = Tok::Minus; break;
      case '*': tok_ = Tok::Star; break;
      case '/': tok_ = Tok::Slash; break;
      case '^': tok_ = Tok::Caret; break;
      case '<':
        tok_ = d == '=' ? Tok::Le : d == '>' ? Tok::Ne : Tok::Lt;
        length = d == '=' || d == '>' ? 2 : 1;
        break;
      case '>':
        tok_ = d == '=' ? Tok::Ge : Tok::Gt;
        length = d == '=' ? 2 : 1;
        break;
      case '=':
        if (d != '=') Fail("'=' is not an operator: compare with '=='");
        tok_ = Tok::Eq;
        length = 2;
        break;
      case '!':
        if (d != '=') Fail("'!' is not an operator: compare with '!='");
        tok_ = Tok::Ne;
        length = 2;
        break;
      default:
        Fail("unexpected character");
    }
    pos_ += length;
  }

  void Expect(Tok t, const char* message) {
    if (tok_ != t) Fail(message);
    Next();
  }

  // --- code --------------------------------------------------------------

  void Emit(Op op, Fn fn = Fn::None, std::uint16_t arg = 0, double value = 0.0) {
    switch (op) {
      case Op::Const: case Op::Ref: case Op::Reduce:
        ++depth_;
        break;
      case Op::Neg: case Op::Jump:
        break;
      case Op::Call:
        depth_ -= fn == Fn::Atan2 ? 1 : 0;
        break;
      case Op::Min: case Op::Max:
        depth_ -= arg - 1;
        break;
      default:  // binary operators and the conditional jump
        --depth_;
        break;
    }
    if (depth_ > kMaxStack) Fail("formula too complex");
    if (depth_ > out_.max_stack) out_.max_stack = depth_;
    if (out_.code.size() >= 0xFFFF) Fail("formula too long");
    out_.code.push_back(Instr{op, fn, arg, value});
  }

  std::uint16_t NameIndex(const std::string& name) {
    for (std::size_t i = 0; i < out_.names.size(); ++i) {
      if (EqualsFolded(out_.names[i], name)) return static_cast<std::uint16_t>(i);
    }
    out_.names.push_back(name);
    return static_cast<std::uint16_t>(out_.names.size() - 1);
  }

  std::uint16_t Here() const { return static_cast<std::uint16_t>(out_.code.size()); }
  void PatchTo(std::size_t at) { out_.code[at].arg = Here(); }

  // --- the grammar ---------------------------------------------------------

  // comparison = sum [ ("<" | "<=" | ">" | ">=" | "==" | "!=" | "<>") sum ]
  void Comparison() {
    Sum();
    Op op;
    switch (tok_) {
      case Tok::Lt: op = Op::Lt; break;
      case Tok::Le: op = Op::Le; break;
      case Tok::Gt: op = Op::Gt; break;
      case Tok::Ge: op = Op::Ge; break;
      case Tok::Eq: op = Op::Eq; break;
      case Tok::Ne: op = Op::Ne; break;
      default: return;
    }
    Next();
    Sum();
    Emit(op);
  }

  // sum = product { ("+" | "-") product }
  void Sum() {
    Product();
    while (tok_ == Tok::Plus || tok_ == Tok::Minus) {
      const Op op = tok_ == Tok::Plus ? Op::Add : Op::Sub;
      Next();
      Product();
      Emit(op);
    }
  }

  // product = unary { ("*" | "/") unary }
  void Product() {
    Unary();
    while (tok_ == Tok::Star || tok_ == Tok::Slash) {
      const Op op = tok_ == Tok::Star ? Op::Mul : Op::Div;
      Next();
      Unary();
      Emit(op);
    }
  }

  // unary = ("-" | "+") unary | power. Every nested operand passes here,
  // so this is where nesting is bounded.
  void Unary() {
    if (++nesting_ > kMaxNesting) Fail("formula nested too deeply");
    if (tok_ == Tok::Minus || tok_ == Tok::Plus) {
      const bool negate = tok_ == Tok::Minus;
      Next();
      Unary();
      if (negate) Emit(Op::Neg);
    } else {
      Power();
    }
    --nesting_;
  }

  // power = primary [ "^" unary ]: right-associative, and -2^2 is -(2^2).
  void Power() {
    Primary();
    if (tok_ == Tok::Caret) {
      Next();
      Unary();
      Emit(Op::Pow);
    }
  }

  // primary = number | name | call | "(" comparison ")"
  void Primary() {
    switch (tok_) {
      case Tok::Number: {
        const double v = tok_value_;
        Next();
        Emit(Op::Const, Fn::None, 0, v);
        return;
      }
      case Tok::Quoted: {
        const std::uint16_t index = NameIndex(tok_text_);
        Next();
        Emit(Op::Ref, Fn::None, index);
        return;
      }
      case Tok::Ident: {
        const std::string word = tok_text_;
        const std::size_t at = tok_pos_;
        Next();
        if (tok_ == Tok::LParen) {
          Call(word, at);
        } else if (EqualsFolded(word, "pi")) {
          Emit(Op::Const, Fn::None, 0, std::numbers::pi);
        } else if (EqualsFolded(word, "e")) {
          Emit(Op::Const, Fn::None, 0, std::numbers::e);
        } else {
          Emit(Op::Ref, Fn::None, NameIndex(word));
        }
        return;
      }
      case Tok::LParen:
        Next();
        Comparison();
        Expect(Tok::RParen, "expected ')'");
        return;
      default:
        Fail(tok_ == Tok::End ? "formula ends too early" : "expected a number, a name or '('");
    }
  }

  // call = identifier "(" [ comparison { "," comparison } ] ")"; the
  // current token is the "(".
  void Call(const std::string& word, std::size_t at) {
    Next();
    if (EqualsFolded(word, "if")) return Conditional();
    for (const auto& [name, fn] : kReductions) {
      if (EqualsFolded(word, name)) return Reduction(fn);
    }
    const Function* f = nullptr;
    for (const Function& candidate : kFunctions) {
      if (EqualsFolded(word, candidate.name)) f = &candidate;
    }
    if (f == nullptr) FailAt(at, "unknown function");

    const std::size_t first = out_.code.size();
    int count = 0;
    if (tok_ != Tok::RParen) {
      for (;;) {
        Comparison();
        ++count;
        if (tok_ != Tok::Comma) break;
        Next();
      }
    }
    Expect(Tok::RParen, "expected ',' or ')'");
    if (f->arity == 0) {
      if (count == 0) FailAt(at, "min and max need at least one argument");
      if (count == 1 && out_.code.size() == first + 1 && out_.code[first].op == Op::Ref) {
        // min(w) and max(w) of one variable reduce a waveform.
        out_.code[first].op = Op::Reduce;
        out_.code[first].fn = f->fn;
      } else if (count > 1) {
        Emit(f->fn == Fn::Minimum ? Op::Min : Op::Max, Fn::None, static_cast<std::uint16_t>(count));
      }
      return;
    }
    if (count != f->arity) {
      FailAt(at, f->arity == 1 ? "function takes one argument" : "function takes two arguments");
    }
    Emit(Op::Call, f->fn);
  }

  // if(c, a, b): a when c is not 0, else b; only the branch taken runs.
  void Conditional() {
    const int before = depth_;
    Comparison();
    Expect(Tok::Comma, "if takes three arguments: if(condition, then, else)");
    const std::size_t to_else = out_.code.size();
    Emit(Op::JumpIfZero);
    Comparison();
    Expect(Tok::Comma, "if takes three arguments: if(condition, then, else)");
    const std::size_t to_end = out_.code.size();
    Emit(Op::Jump);
    PatchTo(to_else);
    depth_ = before;  // the else branch starts from where the condition did
    Comparison();
    Expect(Tok::RParen, "if takes three arguments: if(condition, then, else)");
    PatchTo(to_end);
  }

  // mean(w), rms(w), pp(w): the argument is a waveform's name, always.
  void Reduction(Fn fn) {
    if (tok_ != Tok::Ident && tok_ != Tok::Quoted) Fail("expected a waveform's name");
    const std::uint16_t index = NameIndex(tok_text_);
    Next();
    Expect(Tok::RParen, "expected ')': a reduction takes one waveform");
    Emit(Op::Reduce, fn, index);
  }

  std::string_view text_;
  Formula& out_;
  std::size_t pos_ = 0;
  Tok tok_ = Tok::End;
  std::size_t tok_pos_ = 0;
  std::string tok_text_;
  double tok_value_ = 0.0;
  int depth_ = 0;
  int nesting_ = 0;
  std::size_t error_position_ = 0;
  const char* error_message_ = "";
};

}  // namespace

bool Compile(std::string_view text, Formula* out, ParseError* error) {
  *out = Formula{};
  out->source.assign(text);
  Parser parser(text, *out);
  try {
    parser.Run();
    out->found.Reset(out->names.size());
    return true;
  } catch (const Failure&) {
    if (error) *error = ParseError{parser.error_position(), parser.error_message()};
    return false;
  }
}

}  // namespace vard::server::formula
