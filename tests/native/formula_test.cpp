// The formula language: each construct against values worked out by hand,
// the errors of compiling and of evaluating, and the waveform reductions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "server/core/formula_eval.h"
#include "server/core/formula_parser.h"
#include "server/core/formula_table.h"
#include "server/core/pool.h"
#include "server/core/waveform.h"

namespace vard::server::formula {
namespace {

// A pool with a few numbers, a string and waveforms of each sample type.
class FormulaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Number("a", 2), Number("b", 3), Number("Motor Speed", 1500), Number("x.y", 0.5);
    Number("bad", std::numeric_limits<double>::quiet_NaN());
    Variable s;
    s.name = "s", s.kind = Kind::String, s.text = "text";
    pool_.Write().Insert(std::move(s));
    // Floats 1, -3, NaN (a gap), 4 in two blocks of two.
    Waveform("wf", vardFloat, {1.0f, -3.0f, std::nanf(""), 4.0f}, 2, 1, 0);
    // Integers 10, 20, 30 with Y = 0.5 + 0.1 × sample: 1.5, 2.5, 3.5.
    Waveform("wi", vardInteger, {10, 20, 30}, 3, 0.1, 0.5);
    Waveform("wd", vardDigital, {0, 1, 1, 1}, 4, 1, 0);
    Waveform("empty", vardFloat, {}, 0, 1, 0);
  }

  void Number(const char* name, double value) {
    Variable v;
    v.name = name, v.kind = Kind::Number, v.value = value;
    pool_.Write().Insert(std::move(v));
  }
  void Waveform(const char* name, std::int16_t type, const std::vector<float>& samples,
                std::int32_t length, double y_step, double y0) {
    std::shared_ptr<const WaveformData> data;
    WaveformData::Create(type, &data);
    WaveformWriter w(data);
    w.SetLength(length);
    w.SetVertical(y0, y_step, "V");
    if (!samples.empty()) {
      std::vector<std::int16_t> words(samples.begin(), samples.end());
      const void* src = type == vardFloat ? static_cast<const void*>(samples.data()) : words.data();
      w.Write(0, static_cast<std::int32_t>(samples.size()) - 1, src,
              samples.size() * ElementSize(type));
    }
    Variable v;
    v.name = name, v.kind = Kind::Waveform, v.waveform = w.Publish();
    pool_.Write().Insert(std::move(v));
  }

  // The outcome's name points into the formula: it is kept until the next call.
  Outcome Eval(const std::string& text) {
    ParseError error;
    EXPECT_TRUE(Compile(text, &last_, &error)) << text << ": " << error.message;
    return Evaluate(last_, pool_.Read());
  }

  Pool pool_;
  Formula last_;
};

struct Case {
  const char* text;
  double expected;
};

TEST_F(FormulaTest, EachConstructGivesTheValueWorkedOutByHand) {
  const double pi = 3.14159265358979323846, e = 2.71828182845904523536;
  const Case cases[] = {
      // literals
      {"42", 42}, {"2.5", 2.5}, {".5", 0.5}, {"1e3", 1000}, {"2.5E-2", 0.025}, {"1e-400", 0},
      // operators, precedence and associativity
      {"1 + 2 * 3", 7}, {"(1 + 2) * 3", 9}, {"10 - 4 - 3", 3}, {"12 / 3 / 2", 2},
      {"2 ^ 3 ^ 2", 512}, {"-2 ^ 2", -4}, {"2 ^ -1", 0.5}, {"--3", 3}, {"+3", 3},
      {"-a * b", -6}, {"1 - -1", 2},
      // comparisons: 1 or 0
      {"a < b", 1}, {"a > b", 0}, {"a <= 2", 1}, {"b >= 4", 0}, {"a == 2", 1}, {"a != 2", 0},
      {"a <> b", 1}, {"1 + 1 == a", 1},
      // if: only the branch taken runs, so the other may be out of its domain
      {"if(a < b, 10, 20)", 10}, {"if(0, 1/0, 7)", 7}, {"if(a, sqrt(-1) , 1) + 0 * 0", std::nan("")},
      {"if(1, if(0, 1, 2), 3) * 2", 4},
      // constants and functions
      {"pi", pi}, {"E", e}, {"abs(-3)", 3}, {"sqrt(16)", 4}, {"exp(0)", 1}, {"ln(e)", 1},
      {"log10(1000)", 3}, {"sin(0)", 0}, {"cos(0)", 1}, {"tan(0)", 0}, {"asin(1)", pi / 2},
      {"acos(1)", 0}, {"atan(1)", pi / 4}, {"atan2(1, -1)", 3 * pi / 4}, {"round(2.5)", 3},
      {"round(-2.5)", -3}, {"floor(-1.5)", -2}, {"ceil(1.2)", 2}, {"MIN(3, a, 7)", 2},
      {"max(3, a, 7)", 7}, {"min(a)", 2}, {"max(1 + 1)", 2},
      // references: plain, quoted, with dots, in any case
      {"A + B", 5}, {"'Motor Speed' / 60", 25}, {"x.y * 4", 2},
      // reductions of a whole waveform (every block, NaN skipped, physical values)
      {"mean(wf)", 2.0 / 3}, {"min(wf)", -3}, {"max(wf)", 4}, {"pp(wf)", 7},
      {"rms(wf)", std::sqrt(26.0 / 3)}, {"mean(wi)", 2.5}, {"pp('wi')", 2}, {"mean(wd)", 0.75},
      {"max(wd) + min(wd)", 1},
  };
  for (const Case& c : cases) {
    const Outcome o = Eval(c.text);
    if (std::isnan(c.expected)) {
      EXPECT_NE(o.status, Status::Ok) << c.text;
    } else {
      ASSERT_EQ(o.status, Status::Ok) << c.text << " at " << o.name;
      EXPECT_NEAR(o.value, c.expected, 1e-12 * (1 + std::fabs(c.expected))) << c.text;
    }
  }
}

TEST_F(FormulaTest, EvaluationErrorsNameTheirCause) {
  const struct {
    const char* text;
    Status status;
    const char* name;
  } cases[] = {
      {"nobody + 1", Status::UnknownName, "nobody"},
      {"'a''' * 2", Status::UnknownName, "a'"},
      {"s * 2", Status::TypeMismatch, "s"},
      {"wf + 1", Status::TypeMismatch, "wf"},
      {"mean(a)", Status::TypeMismatch, "a"},
      {"min(s)", Status::TypeMismatch, "s"},
      {"mean(empty)", Status::NoData, "empty"},
      {"bad + 1", Status::Domain, "bad"},
      {"1 / 0", Status::Domain, ""},
      {"0 / 0", Status::Domain, ""},
      {"sqrt(-1)", Status::Domain, ""},
      {"ln(0)", Status::Domain, ""},
      {"log10(-2)", Status::Domain, ""},
      {"asin(2)", Status::Domain, ""},
      {"(-8) ^ (1/3)", Status::Domain, ""},
      {"exp(1000)", Status::Domain, ""},
      {"1e308 * 10", Status::Domain, ""},
  };
  for (const auto& c : cases) {
    const Outcome o = Eval(c.text);
    EXPECT_EQ(o.status, c.status) << c.text;
    EXPECT_EQ(o.name, c.name) << c.text;
  }
  EXPECT_EQ(ReplyCode(Status::UnknownName), vardNotFound);
  EXPECT_EQ(ReplyCode(Status::TypeMismatch), vardInvalidType);
  EXPECT_EQ(ReplyCode(Status::Domain), vardNoSuchData);
  EXPECT_EQ(ReplyCode(Status::Cycle), vardProcNotAllowed);
}

TEST_F(FormulaTest, MalformedFormulasAreRefusedWithWhereAndWhy) {
  const struct {
    std::string text;
    std::size_t position;
  } cases[] = {
      {"", 0},          {"1 +", 3},          {"(1 + 2", 6},      {"1 + 2)", 5},
      {"2 3", 2},       {"a = 1", 2},        {"!a", 0},          {"1 # 2", 2},
      {"'open", 0},     {"''", 0},           {"foo(1)", 0},      {"sqrt(1, 2)", 0},
      {"atan2(1)", 0},  {"min()", 0},        {"if(1, 2)", 7},    {"mean(1)", 5},
      {"mean(a + b)", 7}, {"1 < 2 < 3", 6},  {"1e999", 0},       {"2e", 1},
      {"1..2", 2},      {"sqrt(", 5},
      {std::string(60, '(') + "1" + std::string(60, ')'), 48},
      {std::string(70, '-') + "1", 48},
  };
  for (const auto& c : cases) {
    Formula f;
    ParseError error;
    EXPECT_FALSE(Compile(c.text, &f, &error)) << c.text;
    EXPECT_FALSE(error.message.empty()) << c.text;
    EXPECT_EQ(error.position, c.position) << c.text;
  }
  // More values at once than the stack holds.
  std::string many = "min(1";
  for (int i = 0; i < kMaxStack; ++i) many += ",1";
  Formula f;
  EXPECT_FALSE(Compile(many + ")", &f));
  // Wide but flat is fine: a long sum keeps two values on the stack.
  std::string sum = "1";
  for (int i = 0; i < 70; ++i) sum += "+1";
  EXPECT_EQ(Eval(sum).value, 71);
}

TEST_F(FormulaTest, FormulasReferToFormulasAndCyclesAreCaught) {
  auto add = [&](const char* name, const char* text) {
    return AddFormula(pool_, Definition{name, text, "", ""});
  };
  ASSERT_GT(add("double_a", "2 * a"), 0);
  ASSERT_GT(add("quad", "double_a * 2"), 0);
  EXPECT_EQ(Eval("quad + 1").value, 9);
  {
    auto w = pool_.Write();
    w.Find("a")->value = 5;  // computed on read: always the pool as it is now
  }
  EXPECT_EQ(Eval("quad").value, 20);

  ASSERT_GT(add("p", "q + 1"), 0);
  ASSERT_GT(add("q", "r"), 0);
  ASSERT_GT(add("r", "p * 2"), 0);
  ASSERT_GT(add("self", "if(1, 2, self)"), 0);  // only the branch taken counts
  const Outcome cycle = Eval("p");
  EXPECT_EQ(cycle.status, Status::Cycle);
  EXPECT_EQ(cycle.name, "p");
  EXPECT_EQ(Eval("self").value, 2);

  // A chain longer than kMaxDepth is refused without a cycle in it.
  ASSERT_GT(add("c0", "1"), 0);
  for (int i = 1; i <= kMaxDepth + 1; ++i) {
    const std::string name = "c" + std::to_string(i), prev = "c" + std::to_string(i - 1);
    ASSERT_GT(add(name.c_str(), (prev + " + 1").c_str()), 0);
  }
  // A chain of kMaxDepth formulas evaluates; one more does not.
  const auto view = pool_.Read();
  const auto value = [&](int i) { return NumberValue(*view.Find("c" + std::to_string(i)), view); };
  EXPECT_EQ(value(kMaxDepth - 1).value, kMaxDepth);  // c0 is 1
  EXPECT_EQ(value(kMaxDepth).status, Status::TooDeep);
}

}  // namespace
}  // namespace vard::server::formula
