// The formula language: each construct against values worked out by hand,
// the errors of compiling and of evaluating, and the waveform reductions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "server/core/formula_table.h"
#include "server/core/waveform.h"

namespace vard::server::formula {
namespace {

class FormulaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [name, value] : {std::pair{"a", 2.0}, {"b", 3.0}, {"Motor Speed", 1500.0},
                               {"x.y", 0.5}, {"bad", std::nan("")}}) {
      Variable v;
      v.name = name, v.value = value;
      pool_.Write().Insert(std::move(v));
    }
    Variable s;
    s.name = "s", s.kind = Kind::String;
    pool_.Write().Insert(std::move(s));
    // Floats 1, -3, 2, 4 in two blocks of two, and NaN, NaN, -1, 5 (a block
    // of nothing but NaN); integers 10, 20, 30 with Y = 0.5 + 0.1 × sample:
    // 1.5, 2.5, 3.5; digital words 0, 1, 7, 1, whose states are 0, 1, 1, 1.
    const float nan = std::nanf("");
    Waveform("wf", vardFloat, {1, -3, 2, 4}, 2, 1);
    Waveform("wn", vardFloat, {nan, nan, -1, 5}, 2, 1);
    Waveform("allnan", vardFloat, {nan}, 1, 1);
    Waveform("wi", vardInteger, {10, 20, 30}, 3, 0.1);
    Waveform("wd", vardDigital, {0, 1, 7, 1}, 4, 1);
    Waveform("empty", vardFloat, {}, 0, 1);
  }
  void Waveform(const char* name, std::int16_t type, const std::vector<float>& samples,
                std::int32_t length, double y_step) {
    std::shared_ptr<const WaveformData> data;
    WaveformData::Create(type, &data);
    WaveformWriter w(data);
    w.SetLength(length);
    w.SetVertical(0.5, y_step, "V");
    const std::vector<std::int16_t> words(samples.begin(), samples.end());
    const void* src = type == vardFloat ? static_cast<const void*>(samples.data()) : words.data();
    const auto n = static_cast<std::int32_t>(samples.size());
    if (n > 0) w.Write(0, n - 1, src, samples.size() * ElementSize(type));
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
  int Add(const char* name, const std::string& text) {
    return AddFormula(pool_, Definition{name, text, "", ""});
  }

  Pool pool_;
  Formula last_;
};

TEST_F(FormulaTest, EachConstructGivesTheValueWorkedOutByHand) {
  const double pi = 3.14159265358979323846, e = 2.71828182845904523536;
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      // literals
      {"42", 42}, {"2.5", 2.5}, {".5", 0.5}, {"1e3", 1000}, {"2.5E-2", 0.025}, {"1e-400", 0},
      // operators, precedence and associativity
      {"1 + 2 * 3", 7}, {"(1 + 2) * 3", 9}, {"10 - 4 - 3", 3}, {"12 / 3 / 2", 2},
      {"2 ^ 3 ^ 2", 512}, {"-2 ^ 2", -4}, {"2 ^ -1", 0.5}, {"--3", 3}, {"-a * b", -6},
      // comparisons: 1 or 0
      {"a < b", 1}, {"a > b", 0}, {"a <= 2", 1}, {"b >= 4", 0}, {"a == 2", 1}, {"a != 2", 0},
      {"a <> b", 1}, {"1 + 1 == a", 1},
      // if: only the branch taken runs, so the other may be out of its domain
      {"if(a < b, 10, 20)", 10}, {"if(0, 1/0, 7)", 7}, {"if(1, if(0, 1, 2), 3) * 2", 4},
      // constants and functions
      {"pi", pi}, {"E", e}, {"abs(-3)", 3}, {"sqrt(16)", 4}, {"exp(0)", 1}, {"ln(e)", 1},
      {"log10(1000)", 3}, {"sin(0)", 0}, {"cos(0)", 1}, {"tan(0)", 0}, {"asin(1)", pi / 2},
      {"acos(1)", 0}, {"atan(1)", pi / 4}, {"atan2(1, -1)", 3 * pi / 4}, {"round(2.5)", 3},
      {"round(-2.5)", -3}, {"floor(-1.5)", -2}, {"ceil(1.2)", 2}, {"MIN(3, a, 7)", 2},
      {"max(3, a, 7)", 7}, {"min(a)", 2}, {"max(1 + 1)", 2},
      // references: plain, quoted, with dots, in any case
      {"A + B", 5}, {"'Motor Speed' / 60", 25}, {"x.y * 4", 2},
      // reductions of a whole waveform (every block, physical values; the
      // extremes skip NaN)
      {"mean(wf)", 1}, {"min(wf)", -3}, {"max(wf)", 4}, {"pp(wf)", 7}, {"rms(wf)", std::sqrt(7.5)},
      {"min(wn)", -1}, {"max(wn)", 5}, {"pp(wn)", 6}, {"mean(wi)", 2.5}, {"pp('wi')", 2},
      {"rms(wi)", std::sqrt((1.5 * 1.5 + 2.5 * 2.5 + 3.5 * 3.5) / 3)}, {"mean(wd)", 0.75},
      {"max(wd)", 1},
  };
  for (const auto& c : cases) {
    const Outcome o = Eval(c.text);
    ASSERT_EQ(o.status, Status::Ok) << c.text << " at " << o.name;
    EXPECT_NEAR(o.value, c.expected, 1e-12 * (1 + std::fabs(c.expected))) << c.text;
  }
}

TEST_F(FormulaTest, EvaluationErrorsNameTheirCause) {
  const struct {
    const char* text;
    Status status;
    const char* name;
  } cases[] = {
      {"nobody + 1", Status::UnknownName, "nobody"}, {"'a''' * 2", Status::UnknownName, "a'"},
      {"s * 2", Status::TypeMismatch, "s"},          {"wf + 1", Status::TypeMismatch, "wf"},
      {"mean(a)", Status::TypeMismatch, "a"},        {"min(s)", Status::TypeMismatch, "s"},
      {"mean(empty)", Status::NoData, "empty"},      {"bad + 1", Status::Domain, "bad"},
      {"mean(wn)", Status::Domain, "wn"},            {"min(allnan)", Status::Domain, "allnan"},
      {"1 / 0", Status::Domain, ""},                 {"sqrt(-1)", Status::Domain, ""},
      {"(-8) ^ (1/3)", Status::Domain, ""},          {"exp(1000)", Status::Domain, ""},
      {"if(a, ln(0), 1)", Status::Domain, ""},
  };
  for (const auto& c : cases) {
    const Outcome o = Eval(c.text);
    EXPECT_EQ(o.status, c.status) << c.text;
    EXPECT_EQ(o.name, c.name) << c.text;
  }
}

TEST_F(FormulaTest, MalformedFormulasAreRefusedWithWhereAndWhy) {
  const struct {
    std::string text;
    std::size_t position;
  } cases[] = {
      {"", 0},    {"1 +", 3},   {"(1 + 2", 6},  {"2 3", 2},        {"a = 1", 2},  {"1 # 2", 2},
      {"'open", 0}, {"''", 0}, {"foo(1)", 0}, {"sqrt(1, 2)", 0}, {"min()", 0},  {"if(1, 2)", 7},
      {"mean(a + b)", 7}, {"1 < 2 < 3", 6}, {"1e999", 0}, {"2e", 1}, {"1..2", 2},
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
  // More values at once than the stack holds are refused.
  std::string many = "min(1";
  for (int i = 0; i < kMaxStack; ++i) many += ",1";
  Formula f;
  EXPECT_FALSE(Compile(many + ")", &f));
}

TEST_F(FormulaTest, FormulasReferToFormulasAndCyclesAreCaught) {
  ASSERT_GT(Add("double_a", "2 * a"), 0);
  ASSERT_GT(Add("quad", "double_a * 2"), 0);
  EXPECT_EQ(Eval("quad + 1").value, 9);
  pool_.Write().Find("a")->value = 5;  // computed on read: always the pool as it is now
  EXPECT_EQ(Eval("quad").value, 20);

  ASSERT_GT(Add("p", "q + 1"), 0);
  ASSERT_GT(Add("q", "r"), 0);
  ASSERT_GT(Add("r", "p * 2"), 0);
  ASSERT_GT(Add("self", "if(1, 2, self)"), 0);  // only the branch taken counts
  const Outcome cycle = Eval("p");
  EXPECT_EQ(cycle.status, Status::Cycle);
  EXPECT_EQ(cycle.name, "p");
  EXPECT_EQ(Eval("self").value, 2);

  // A chain of kMaxDepth formulas evaluates; one more does not.
  const auto c = [](int i) {
    char name[8];
    std::snprintf(name, sizeof name, "c%d", i);
    return std::string(name);
  };
  ASSERT_GT(Add("c0", "1"), 0);
  for (int i = 1; i <= kMaxDepth; ++i) ASSERT_GT(Add(c(i).c_str(), c(i - 1) + " + 1"), 0);
  const auto view = pool_.Read();
  const auto value = [&](int i) { return NumberValue(*view.Find(c(i)), view); };
  EXPECT_EQ(value(kMaxDepth - 1).value, kMaxDepth);  // c0 is 1
  EXPECT_EQ(value(kMaxDepth).status, Status::TooDeep);
}

}  // namespace
}  // namespace vard::server::formula
