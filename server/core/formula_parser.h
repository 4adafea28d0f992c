// The formula language: a hand-written recursive-descent parser that
// compiles a formula text once into a short instruction list for a stack
// machine (formula_eval.h). docs/formulas.md gives the grammar in EBNF.
//
// Compiling is pure: it looks at nothing but the text, so it runs before
// the pool's lock is taken. Names are kept as written; they are looked up
// when the formula is evaluated, so a formula may name variables (and other
// formulas) that do not exist yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vard::server::formula {

// The longest formula a row holds (its request field is 160 bytes wide).
// References in an expanded text may be longer: the limits below bound them.
inline constexpr std::size_t kMaxFormulaLength = 159;
// Values on the evaluation stack at once; a deeper formula is refused.
inline constexpr int kMaxStack = 64;
// Nested operands (parentheses, calls, signs, powers); a deeper one is refused.
inline constexpr int kMaxNesting = 48;

enum class Op : std::uint8_t {
  Const,   // push `value`
  Ref,     // push the number named names[arg]
  Reduce,  // push reduction `fn` of the waveform named names[arg]
  Neg,
  Add,
  Sub,
  Mul,
  Div,
  Pow,
  Lt,
  Le,
  Gt,
  Ge,
  Eq,
  Ne,
  Call,        // function `fn` of the top one (two for Atan2) values
  Min,         // of the top `arg` values
  Max,         // of the top `arg` values
  JumpIfZero,  // pop; continue at `arg` when the value was 0
  Jump,        // continue at `arg`
};

enum class Fn : std::uint8_t {
  None,
  // Call, one argument
  Abs,
  Sqrt,
  Exp,
  Ln,
  Log10,
  Sin,
  Cos,
  Tan,
  Asin,
  Acos,
  Atan,
  Round,
  Floor,
  Ceil,
  // Call, two arguments
  Atan2,
  // Reduce: over every sample of every block of a waveform
  Mean,
  Rms,
  Minimum,
  Maximum,
  PeakToPeak,
};

struct Instr {
  Op op;
  Fn fn = Fn::None;
  std::uint16_t arg = 0;
  double value = 0.0;
};

// A compiled formula. Immutable once compiled; shared by the variable it
// defines and its row (pool.h), and evaluated by any number of readers.
struct Formula {
  std::string source;              // the text as given
  std::vector<Instr> code;
  std::vector<std::string> names;  // referenced names as written, quotes removed
  int max_stack = 0;

  // The whole formula is one variable's name (parentheses aside).
  bool IsName() const noexcept { return code.size() == 1 && code[0].op == Op::Ref; }
};

struct ParseError {
  std::size_t position = 0;  // byte offset into the text
  std::string message;
};

// Compiles `text`. False, with `error` (when given) telling where and why,
// when it is not a formula of the language; `out` is then unspecified.
bool Compile(std::string_view text, Formula* out, ParseError* error = nullptr);

}  // namespace vard::server::formula
