// Random and mutated formulas and texts: compiling never crashes and either
// succeeds or says where and why; evaluating answers one of the documented
// statuses (never a crash or a hang, cycles included) with a finite value;
// an expansion never exceeds its limit. Run under ASan and UBSan.
// Deterministic: one seed.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "server/core/formula_eval.h"
#include "server/core/formula_table.h"
#include "server/core/text_expansion.h"
#include "server/core/waveform.h"

namespace vard::server::formula {
namespace {

const char* const kPieces[] = {
    "1", "0", "2.5", "1e308", "1e-308", ".5", "9e9", "a", "b", "'a b'", "w", "s", "f1", "f2",
    "pi", "e", "+", "-", "*", "/", "^", "<", "<=", ">", ">=", "==", "!=", "<>", "(", ")", ",",
    " ", "if(", "min(", "max(", "mean(", "rms(", "pp(", "sqrt(", "ln(", "atan2(", "round(", "'",
    "''", "{", "}", "{{", "}}", ":", ":%g", ":units", ":%.3f", ":%99f", "\x82", "\xff", "=", "!",
    "#", "nobody", "1..2", "2e", "\t",
};

TEST(FormulaFuzzTest, RandomFormulasAndTexts) {
  std::mt19937_64 rng(20240612);
  const std::size_t iterations = 30000;
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };

  Pool pool;
  {
    auto w = pool.Write();
    for (const char* name : {"a", "b", "a b", "s", "w"}) {
      Variable v;
      v.name = name, v.value = below(2) ? 3.0 : -0.5;
      v.kind = name[0] == 's' ? Kind::String : name[0] == 'w' ? Kind::Waveform : Kind::Number;
      if (v.kind == Kind::Waveform) WaveformData::Create(vardFloat, &v.waveform);
      w.Insert(std::move(v));
    }
  }
  // Formulas that refer to each other, and to themselves.
  AddFormula(pool, Definition{"f1", "f2 + a", "", ""});
  AddFormula(pool, Definition{"f2", "if(b > 0, f1, 2)", "", ""});

  std::vector<std::string> corpus = {"a * (b + 1)", "if(a < b, sqrt(a), -b)", "max(1, a, f1)"};
  std::size_t compiled = 0, evaluated_ok = 0;
  for (std::size_t it = 0; it < iterations; ++it) {
    std::string text;
    if (below(2)) {  // pieces strung together
      for (std::size_t n = below(24); n > 0; --n) text += kPieces[below(std::size(kPieces))];
    } else {  // a known formula, mutated
      text = corpus[below(corpus.size())];
      for (std::size_t n = 1 + below(4); n > 0; --n) {
        const std::size_t at = below(text.size() + 1);
        switch (below(3)) {
          case 0: text.insert(at, kPieces[below(std::size(kPieces))]); break;
          case 1: if (at < text.size()) text.erase(at, 1 + below(3)); break;
          default: if (at < text.size()) text[at] = static_cast<char>(rng()); break;
        }
      }
    }
    if (below(50) == 0) text = std::string(below(4000), "(-+"[below(3)]) + text;

    Formula f;
    ParseError error;
    if (Compile(text, &f, &error)) {
      ++compiled;
      ASSERT_LE(f.max_stack, kMaxStack) << text;
      const Outcome o = Evaluate(f, pool.Read());
      ASSERT_LE(o.status, Status::TooDeep) << text;  // one of the documented statuses
      if (o.status == Status::Ok) {
        ASSERT_TRUE(std::isfinite(o.value)) << text;
        ++evaluated_ok;
        if (corpus.size() < 200 && text.size() < 100) corpus.push_back(text);
      }
    } else {
      ASSERT_FALSE(error.message.empty()) << text;
      ASSERT_LE(error.position, text.size()) << text;
    }

    const std::size_t limit = below(4) == 0 ? below(3) : below(200);
    const LeadByteTest double_byte = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
    const Expansion e = ExpandText(pool, text, limit, below(2) ? nullptr : double_byte);
    ASSERT_LE(e.text.size(), limit == 0 ? 0 : limit - 1) << text;
  }
  // The run reached past the parser into the evaluator.
  EXPECT_GT(compiled, iterations / 20);
  EXPECT_GT(evaluated_ok, iterations / 50);
}

}  // namespace
}  // namespace vard::server::formula
