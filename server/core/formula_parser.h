// The formula language: a hand-written recursive-descent parser that
// compiles a formula text once into a short instruction list for a stack
// machine (formula_eval.h). docs/formulas.md gives the grammar in EBNF.
//
// Compiling is pure: it looks at nothing but the text, so it runs before
// the pool's lock is taken. Names are kept as written; they are looked up
// when the formula is evaluated, so a formula may name variables (and other
// formulas) that do not exist yet.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vard::server {
struct Variable;
}

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

// Where a formula's names were last found in the pool, kept while the
// pool's set of variables stays the same (its generation, pool.h), so that
// an evaluation looks names up only after a variable was added or removed.
// Readers under views of one generation may fill and use it at once: every
// slot is atomic, all of them hold the same values, and the generation is
// published after them; a view of another generation cannot coexist with
// them (it needs the write lock in between).
class NameCache {
 public:
  NameCache() = default;
  NameCache(const NameCache&) {}  // a copy starts empty
  NameCache& operator=(const NameCache&) {
    Reset(0);
    return *this;
  }
  // Room for n names, all unknown; before the formula is shared.
  void Reset(std::size_t n) {
    generation_.store(0, std::memory_order_relaxed);
    slots_ = n ? std::make_unique<std::atomic<const Variable*>[]>(n) : nullptr;
  }
  bool Holds(std::uint64_t generation) const noexcept {
    return generation_.load(std::memory_order_acquire) == generation;
  }
  const Variable* Get(std::size_t i) const noexcept {
    return slots_[i].load(std::memory_order_relaxed);
  }
  void Set(std::size_t i, const Variable* v) const noexcept {
    slots_[i].store(v, std::memory_order_relaxed);
  }
  void Publish(std::uint64_t generation) const noexcept {
    generation_.store(generation, std::memory_order_release);
  }

 private:
  mutable std::atomic<std::uint64_t> generation_{0};  // 0: never a pool's generation
  std::unique_ptr<std::atomic<const Variable*>[]> slots_;
};

// A compiled formula. Immutable once compiled (but for its name cache);
// shared by the variable it defines and its row (pool.h), and evaluated by
// any number of readers.
struct Formula {
  std::string source;              // the text as given
  std::vector<Instr> code;
  std::vector<std::string> names;  // referenced names as written, quotes removed
  int max_stack = 0;
  NameCache found;                 // names[i] as last found in the pool

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
