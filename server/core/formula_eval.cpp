#include "server/core/formula_eval.h"

#include <cmath>

#include "include/vard_enums.h"
#include "server/core/formula_reduce.h"

namespace vard::server::formula {
namespace {

// The formulas being evaluated, innermost first: a reference to one of them
// is a cycle.
struct Chain {
  const Formula* formula;
  const Chain* up;
  int depth;
};

double Apply(Fn fn, double x) {
  switch (fn) {
    case Fn::Abs: return std::fabs(x);
    case Fn::Sqrt: return std::sqrt(x);
    case Fn::Exp: return std::exp(x);
    case Fn::Ln: return std::log(x);
    case Fn::Log10: return std::log10(x);
    case Fn::Sin: return std::sin(x);
    case Fn::Cos: return std::cos(x);
    case Fn::Tan: return std::tan(x);
    case Fn::Asin: return std::asin(x);
    case Fn::Acos: return std::acos(x);
    case Fn::Atan: return std::atan(x);
    case Fn::Round: return std::round(x);
    case Fn::Floor: return std::floor(x);
    case Fn::Ceil: return std::ceil(x);
    default: return std::nan("");
  }
}

class Evaluator {
 public:
  explicit Evaluator(const Pool::ReadView& view) : view_(view) {}

  Outcome Run(const Formula& f, const Chain* up) {
    const Chain chain{&f, up, up ? up->depth + 1 : 1};
    const std::uint64_t generation = view_.Generation();
    if (!f.found.Holds(generation)) {
      for (std::size_t i = 0; i < f.names.size(); ++i) f.found.Set(i, view_.Find(f.names[i]));
      f.found.Publish(generation);
    }
    double stack[kMaxStack];
    int sp = 0;
    const Instr* const code = f.code.data();
    const std::size_t n = f.code.size();
    for (std::size_t pc = 0; pc < n; ++pc) {
      const Instr& in = code[pc];
      switch (in.op) {
        case Op::Const:
          stack[sp++] = in.value;
          continue;
        case Op::Ref: {
          const Variable* v = f.found.Get(in.arg);
          // The common case inline: a stored, finite number.
          if (v != nullptr && v->kind == Kind::Number && !v->formula && std::isfinite(v->value)) {
            stack[sp++] = v->value;
            continue;
          }
          const Outcome o = Number(v, f.names[in.arg], chain);
          if (o.status != Status::Ok) return o;
          stack[sp++] = o.value;
          continue;
        }
        case Op::Reduce: {
          const Outcome o = Reduced(f.found.Get(in.arg), f.names[in.arg], in.fn, chain);
          if (o.status != Status::Ok) return o;
          stack[sp++] = o.value;
          continue;
        }
        case Op::Neg:
          stack[sp - 1] = -stack[sp - 1];
          continue;
        case Op::Add: --sp; stack[sp - 1] += stack[sp]; break;
        case Op::Sub: --sp; stack[sp - 1] -= stack[sp]; break;
        case Op::Mul: --sp; stack[sp - 1] *= stack[sp]; break;
        case Op::Div: --sp; stack[sp - 1] /= stack[sp]; break;
        case Op::Pow:
          --sp;
          stack[sp - 1] = stack[sp] == 2.0 ? stack[sp - 1] * stack[sp - 1]  // the common square
                                           : std::pow(stack[sp - 1], stack[sp]);
          break;
        case Op::Lt: --sp; stack[sp - 1] = stack[sp - 1] < stack[sp]; continue;
        case Op::Le: --sp; stack[sp - 1] = stack[sp - 1] <= stack[sp]; continue;
        case Op::Gt: --sp; stack[sp - 1] = stack[sp - 1] > stack[sp]; continue;
        case Op::Ge: --sp; stack[sp - 1] = stack[sp - 1] >= stack[sp]; continue;
        case Op::Eq: --sp; stack[sp - 1] = stack[sp - 1] == stack[sp]; continue;
        case Op::Ne: --sp; stack[sp - 1] = stack[sp - 1] != stack[sp]; continue;
        case Op::Call:
          if (in.fn == Fn::Atan2) {
            --sp;
            stack[sp - 1] = std::atan2(stack[sp - 1], stack[sp]);
          } else {
            stack[sp - 1] = Apply(in.fn, stack[sp - 1]);
          }
          break;
        case Op::Min:
        case Op::Max: {
          sp -= in.arg - 1;
          double r = stack[sp - 1];
          for (int i = 0; i < in.arg; ++i) {
            const double v = stack[sp - 1 + i];
            r = in.op == Op::Min ? (v < r ? v : r) : (v > r ? v : r);
          }
          stack[sp - 1] = r;
          continue;  // of finite values: finite
        }
        case Op::JumpIfZero:
          --sp;
          if (stack[sp] == 0.0) pc = in.arg - 1u;
          continue;
        case Op::Jump:
          pc = in.arg - 1u;
          continue;
      }
      // Every value on the stack is finite; a step that leaves NaN or an
      // infinity is outside its domain.
      if (!std::isfinite(stack[sp - 1])) return {Status::Domain, 0.0, {}};
    }
    return {Status::Ok, stack[0], {}};
  }

 private:
  // `v` is what `name` was found as: null when it does not exist.
  Outcome Number(const Variable* v, std::string_view name, const Chain& chain) {
    if (v == nullptr) return {Status::UnknownName, 0.0, name};
    if (v->kind != Kind::Number) return {Status::TypeMismatch, 0.0, name};
    if (!v->formula) {
      if (!std::isfinite(v->value)) return {Status::Domain, 0.0, name};
      return {Status::Ok, v->value, {}};
    }
    for (const Chain* c = &chain; c != nullptr; c = c->up) {
      if (c->formula == v->formula.get()) return {Status::Cycle, 0.0, name};
    }
    if (chain.depth >= kMaxDepth) return {Status::TooDeep, 0.0, name};
    return Run(*v->formula, &chain);
  }

  Outcome Reduced(const Variable* v, std::string_view name, Fn fn, const Chain& chain) {
    if (v == nullptr) return {Status::UnknownName, 0.0, name};
    if (v->kind == Kind::Waveform && v->waveform) {
      double r;
      if (!ReduceWaveform(*v->waveform, fn, &r)) return {Status::NoData, 0.0, name};
      if (!std::isfinite(r)) return {Status::Domain, 0.0, name};
      return {Status::Ok, r, {}};
    }
    // min(x) and max(x) of one number are that number.
    if (v->kind == Kind::Number && (fn == Fn::Minimum || fn == Fn::Maximum)) {
      return Number(v, name, chain);
    }
    return {Status::TypeMismatch, 0.0, name};
  }

  const Pool::ReadView& view_;
};

}  // namespace

std::uint16_t ReplyCode(Status status) noexcept {
  switch (status) {
    case Status::Ok: return vardOK;
    case Status::UnknownName: return vardNotFound;
    case Status::TypeMismatch: return vardInvalidType;
    case Status::Domain:
    case Status::NoData: return vardNoSuchData;
    case Status::Cycle:
    case Status::TooDeep: return vardProcNotAllowed;
  }
  return vardInternalError;
}

const char* Describe(Status status) noexcept {
  switch (status) {
    case Status::Ok: return "ok";
    case Status::UnknownName: return "unknown name";
    case Status::TypeMismatch: return "not a number";
    case Status::Domain: return "domain error";
    case Status::NoData: return "no samples";
    case Status::Cycle: return "cycle";
    case Status::TooDeep: return "nested too deeply";
  }
  return "error";
}

Outcome Evaluate(const Formula& f, const Pool::ReadView& view) {
  return Evaluator(view).Run(f, nullptr);
}

Outcome NumberValue(const Variable& v, const Pool::ReadView& view) {
  if (!v.formula) return {Status::Ok, v.value, {}};
  return Evaluate(*v.formula, view);
}

}  // namespace vard::server::formula
